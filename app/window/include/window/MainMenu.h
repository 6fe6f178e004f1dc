// The main window's menu bar (menu 128): its items with their command ids,
// the Device and Language submenus, translation, and the one function that
// applies every enable, check and radio rule from the window's state.
#pragma once

#include "language/language.h"

#include <QAction>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

// What the menu rules read.
struct MenuState {
    bool attached = false;
    bool playing = false;
    bool starting = false; // a Play under way: the camera settles or opens
    bool recording = false;
    bool time_lapse = false;
    bool full_screen = false;
    bool frozen = false;
    uint32_t zoom_mode = 0;
    int device_index = -1;
    bool can_undo = false;
    bool can_redo = false;
    bool has_shapes = false;
    bool annotations_hidden = false;
    bool blanked = false;
    bool spotlight = false;
    bool curtain = false;
};

class MainMenu {
public:
    // Builds the menu bar in owner; every item's trigger calls on_command
    // with its id.
    MainMenu(QWidget* owner, HLANGCTX lang, std::function<void(uint32_t)> on_command);

    QMenuBar* Bar() const { return bar_; }
    // The item of command id, or nullptr.
    QAction* FindCommand(uint32_t id) const;
    // The submenu at position of the menu bar, or nullptr.
    QMenu* SubMenu(int position) const;

    // One Device-menu item per label: the first replaces "None", the others
    // follow with the next ids. Returns the number of items filled.
    int FillDevices(const std::vector<QString>& labels);
    int DeviceItems() const { return device_items_; }
    // The radio mark of the Device menu.
    void CheckDevice(uint32_t id);
    // Marks the stored choice (a command id), or the first item when it
    // names none; returns the device index, -1 when the menu has no device.
    int SelectStoredDevice(uint32_t stored);

    // Every enable, check and radio rule for state.
    void Apply(const MenuState& state);

    // The menu bar in the current language.
    void Translate();
    // A Language item was chosen; true when the language changed (the caller
    // then translates the rest of its windows).
    bool SelectLanguage(uint32_t id);

private:
    QAction* AddCommand(QMenu* menu, uint32_t id, const char16_t* text,
                        const char* shortcut = nullptr);
    void Enable(uint32_t id, bool enabled) const;

    const HLANGCTX lang_;
    const std::function<void(uint32_t)> on_command_;
    QMenuBar* bar_ = nullptr;
    QActionGroup* zoom_group_ = nullptr;
    QActionGroup* device_group_ = nullptr;
    int device_items_ = 0;
    // Command id to item, made from one walk over the bar's items: the
    // state rules look up some forty items several times a second. An entry
    // that no longer names its id (deleted, or given another) makes it anew.
    mutable std::unordered_map<uint32_t, QPointer<QAction>> index_;
};

// Re-translates every other menu and open dialog that carries its resource
// id (DlgItem.h), except main.
void TranslateOtherWindows(HLANGCTX lang, const QWidget* main, const QMenuBar* main_menu);
