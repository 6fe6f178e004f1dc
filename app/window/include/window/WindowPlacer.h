// Where the main window stands: read once from the settings at start-up
// (WindowPos, ShowWindowMode, ZoomMode) and written back as the user moves,
// resizes, minimises or maximises the window. Only the normal position is
// stored, as the window's frame top-left and the size Qt restores, so a
// stored placement reproduces itself without drifting.
#pragma once

#include "settings/AppSettings.h"

class IniStore;
class QWidget;

class WindowPlacer {
public:
    WindowPlacer(QWidget* window, IniStore* ini) : window_(window), ini_(ini) {}

    // Reads the placement and applies it to the window; returns it (its zoom
    // mode is the view's).
    settings::WindowPlacement Apply();
    // From now on moves and resizes are stored.
    void SetInitialised() { initialised_ = true; }

    void OnMoved();
    void OnResized();
    void OnStateChanged();

private:
    void SaveRect();
    void SaveShowMode();

    QWidget* const window_;
    IniStore* const ini_;
    bool initialised_ = false; // moves and resizes during start-up are not stored
};
