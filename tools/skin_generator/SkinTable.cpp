#include "SkinTable.h"

#include <fstream>
#include <sstream>

namespace skin {
namespace {

constexpr int kMaxSide = 4096; // nothing on screen needs more

bool ParseState(const std::string& text, State* state) {
    for (State s : {State::Normal, State::MouseOver, State::ClickDown, State::Gray}) {
        if (text == StateName(s)) {
            *state = s;
            return true;
        }
    }
    return false;
}

// "Normal", "MouseOver1", "Normal2", "Normal2=MouseOver".
bool ParseFace(const std::string& name, const std::string& token, Face* face) {
    const size_t equals = token.find('=');
    const std::string suffix = token.substr(0, equals);
    if (suffix.empty() || suffix.find_first_of("/\\.") != std::string::npos)
        return false;
    face->file = name + "_" + suffix + ".bmp";
    if (equals != std::string::npos) {
        face->second = false;
        return ParseState(token.substr(equals + 1), &face->state);
    }
    std::string state = suffix;
    const char last = state.back();
    if (last == '1' || last == '2') {
        face->second = last == '2';
        state.pop_back();
    }
    return ParseState(state, &face->state);
}

bool ParseSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    try {
        size_t used = 0;
        *width = std::stoi(text.substr(0, x), &used);
        if (used != x)
            return false;
        *height = std::stoi(text.substr(x + 1), &used);
        if (used != text.size() - x - 1)
            return false;
    } catch (const std::exception&) {
        return false;
    }
    return *width > 0 && *height > 0 && *width <= kMaxSide && *height <= kMaxSide;
}

bool SafeFolder(const std::string& folder) {
    if (folder.empty() || folder.front() == '/' || folder.back() == '/')
        return false;
    std::istringstream parts(folder);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == "." || part == "..")
            return false;
    }
    return true;
}

bool ParseRow(const std::string& row, Entry* entry, std::string* why) {
    std::istringstream fields(row);
    std::string size;
    if (!(fields >> entry->folder >> entry->name >> size >> entry->art)) {
        *why = "expected: folder name size art files";
        return false;
    }
    if (!SafeFolder(entry->folder)) {
        *why = "folder must be a relative path without '.' or '..': " + entry->folder;
        return false;
    }
    if (entry->name.find_first_of("/\\.") != std::string::npos) {
        *why = "name must be a plain file name: " + entry->name;
        return false;
    }
    if (!ParseSize(size, &entry->width, &entry->height)) {
        *why = "size must be <width>x<height>, 1 to 4096 each: " + size;
        return false;
    }
    std::vector<std::string> tokens;
    for (std::string token; fields >> token;)
        tokens.push_back(token);
    if (tokens.empty()) {
        *why = "no files";
        return false;
    }
    if (tokens.size() == 1 && (tokens[0] == ".bmp" || tokens[0] == ".png")) {
        entry->button = false;
        entry->faces.push_back({entry->name + tokens[0], State::Normal, false});
        return true;
    }
    entry->button = true;
    for (const std::string& token : tokens) {
        Face face;
        if (!ParseFace(entry->name, token, &face)) {
            *why = "not a state file: " + token;
            return false;
        }
        entry->faces.push_back(face);
    }
    return true;
}

} // namespace

const char* StateName(State state) {
    switch (state) {
    case State::Normal:
        return "Normal";
    case State::MouseOver:
        return "MouseOver";
    case State::ClickDown:
        return "ClickDown";
    case State::Gray:
        return "Gray";
    }
    return "?";
}

bool ParseSkinTable(const std::string& text, std::vector<Entry>* entries, std::string* error) {
    entries->clear();
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        Entry entry;
        entry.line = number;
        std::string why;
        if (!ParseRow(line, &entry, &why)) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        entries->push_back(std::move(entry));
    }
    if (entries->empty()) {
        *error = "no rows";
        return false;
    }
    return true;
}

bool ReadSkinTable(const std::string& path, std::vector<Entry>* entries, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseSkinTable(text.str(), entries, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

} // namespace skin
