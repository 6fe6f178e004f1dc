// The table of every skin bitmap and icon the generator draws (skins.tab):
// where each file goes, its size, its drawing and, for a button, which state
// each of its files shows.
#pragma once

#include <string>
#include <vector>

namespace skin {

enum class State { Normal, MouseOver, ClickDown, Gray };

// One file of a row.
struct Face {
    std::string file; // file name inside the row's folder
    State state = State::Normal;
    bool second = false; // a toggle's second face ("Normal2", "MouseOver2")
};

struct Entry {
    std::string folder; // below the program's folder, '/'-separated
    std::string name;
    int width = 0;
    int height = 0;
    std::string art;         // the drawing's name
    bool button = false;     // state files on a button plate, else one picture
    std::vector<Face> faces; // at least one
    int line = 0;            // in the table, for messages
};

// Reads the table text. On the first malformed row returns false and sets
// error to a message naming the line; entries then holds the rows before it.
bool ParseSkinTable(const std::string& text, std::vector<Entry>* entries, std::string* error);

// Reads the table file; false with a message when it cannot be read or parsed.
bool ReadSkinTable(const std::string& path, std::vector<Entry>* entries, std::string* error);

const char* StateName(State state);

} // namespace skin
