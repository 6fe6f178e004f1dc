// What the command panel needs of the main window besides its messages: the
// recording flag, the tool bar column's visibility flag, annotation mode,
// the settings dialog and the ShowLogo setting. The main window implements
// it and outlives the panel.
//
// Threads: called on the user-interface thread only, from the panel's click
// and timer handlers.
#pragma once

#include "language/language.h"

class CommandPanelHost {
public:
    // Arguments of SetAnnotationMode.
    static constexpr int kAnnotationOn = 1;
    static constexpr int kAnnotationOff = 2;

    virtual ~CommandPanelHost() = default;

    // A recording runs.
    virtual bool IsRecording() const = 0;
    // The control tool bar column is laid out (true) or not; the panel then
    // sends the window a resize notification, so it lays out again.
    virtual void SetToolBarShown(bool shown) = 0;
    // kAnnotationOn or kAnnotationOff.
    virtual void SetAnnotationMode(int mode) = 0;
    // Opens the capture and record settings dialog (without blocking).
    virtual void OpenSettingDialog() = 0;
    // The ShowLogo setting: the logo appears at the panel's first paint.
    virtual bool ShowLogo() const = 0;
    // The language the panel's tooltips are shown in; null: English.
    virtual HLANGCTX Language() const { return nullptr; }
};
