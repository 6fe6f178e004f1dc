// TovekCameraDlg: the program's main window. It carries the main menu (128),
// dispatches every command id through one table, follows the language
// switch and keeps its placement in the settings.
//
// Every menu command reaches OnCommand with its id, whether it comes from
// the menu, a shortcut or a test. Commands whose behaviour belongs to later
// parts of the window exist and are accepted, but do nothing yet.
#pragma once

#include "AppSettings.h"
#include "language/language.h"

#include <QDialog>

#include <cstdint>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class TovekCameraApp;

class TovekCameraDlg : public QDialog {
public:
    explicit TovekCameraDlg(TovekCameraApp& app, QWidget* parent = nullptr);
    ~TovekCameraDlg() override;

    // Runs the handler of command id. False when no handler takes the id.
    bool OnCommand(uint32_t id);

    QMenuBar* MainMenu() const { return menu_bar_; }
    // The menu item of command id, or nullptr.
    QAction* FindCommand(uint32_t id) const;
    // The submenu at position of the main menu, or nullptr.
    QMenu* SubMenu(int position) const;
    uint32_t ZoomMode() const { return zoom_mode_; }
    bool Initialised() const { return initialised_; }
    // The cancel path: asks first while a recording runs, then ends the
    // dialog. Reached by "E&xit" and by the close button.
    void reject() override;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    using Handler = void (TovekCameraDlg::*)(uint32_t id);
    struct CommandRange {
        uint32_t first;
        uint32_t last;
        Handler handler;
    };
    static const CommandRange kCommands[];

    bool OnInitDialog();
    void BuildMainMenu();
    QAction* AddCommand(QMenu* menu, uint32_t id, const char16_t* text,
                        const char* shortcut = nullptr);
    void ApplyPlacement();
    void SavePlacement();
    RECT DesktopRect() const;

    // Command handlers.
    void OnMenuFilePlay(uint32_t id);
    void OnMenuFileStop(uint32_t id);
    void OnMenuFileCaptur(uint32_t id);
    void OnStartRecord(uint32_t id);
    void OnStopRecord(uint32_t id);
    void OnExit(uint32_t id);
    void OnMenuFullscr(uint32_t id);
    void OnMenuZoomMode(uint32_t id);
    void OnLanguage(uint32_t id);
    void OnSetting(uint32_t id);
    void OnOptions(uint32_t id);
    void OnDevice(uint32_t id);
    void OnControl(uint32_t id);
    void OnHelp(uint32_t id);
    void OnAbout(uint32_t id);

    // Re-translates the main menu, every other menu and open dialog that
    // carries its resource id, and the title.
    void TranslateAll();

    TovekCameraApp& app_;
    HLANGCTX lang_; // owned by the application
    QMenuBar* menu_bar_ = nullptr;
    QActionGroup* zoom_group_ = nullptr;
    QActionGroup* device_group_ = nullptr;
    bool initialised_ = false; // moves and resizes are saved only after OnInitDialog
    bool recording_ = false;   // set by the recorder once it exists
    settings::WindowPlacement placement_;
    uint32_t zoom_mode_ = settings::kDefaultZoomMode;
};
