// GraphicPanel: the annotation tool panel (template 135) in the right pane:
// thirteen 32 x 32 skinned buttons in two columns that pick the drawing tool
// (select, line, rectangle, ellipse, curve, text, arrow, highlighter,
// eraser), open the two graphic dialogs, delete the selection and clear
// every shape, and under them the quick palette. It edits the process-wide
// annotation store directly.
//
// Which buttons are enabled follows SetPanelState only (0 camera stopped,
// 1 nothing selected, 2 one shape, 3 two or more); the current tool's
// button is shown held down. The store reports the panel state after every
// rendering on the overlay worker's thread: the panel installs the store's
// panel-state handler, which posts the state to the panel, and the panel
// applies it on the user-interface thread. A state reported after the panel
// is gone is dropped. The panel starts in state 0.
//
// Threads: the user-interface thread only, except the handler it installs
// (any thread). Lifetime: hosted by the right panel, which owns it; the
// context's store, INI store and settings, and the main window, must
// outlive it.
#pragma once

#include "widgets/GraphicDialog.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class SkinButton;
class QDialog;
class QuickPalette;

class GraphicPanel : public QWidget {
public:
    static constexpr int kTemplateId = 135;
    static constexpr int kSelectId = 1056;
    static constexpr int kLineId = 1057;
    static constexpr int kRectangleId = 1058;
    static constexpr int kCircleId = 1059;
    static constexpr int kCurveId = 1060;
    static constexpr int kClearId = 1061;
    static constexpr int kDefaultSetId = 1106;
    static constexpr int kPropertyId = 1107;
    static constexpr int kDeleteId = 1108;
    static constexpr int kTextId = 1160;
    static constexpr int kArrowId = 1161;
    static constexpr int kHighlighterId = 1162;
    static constexpr int kEraserId = 1163;
    static constexpr int kButtonSize = 32;

    // Runs a modal dialog to its end and returns its result (QDialog::
    // Accepted or Rejected). Tests replace the default, QDialog::exec.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    // Builds the nine buttons and loads the background; installs the panel
    // state handler on context.store.
    explicit GraphicPanel(GraphicDialogContext context, QWidget* parent = nullptr);
    ~GraphicPanel() override;

    // The main window (not owned), over which the dialogs open; null until
    // the right panel sets it.
    void SetMainWindow(QWidget* main_window) { main_window_ = main_window; }
    void SetDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

    // Enables the buttons for state 0 to 3; any other value disables all.
    void SetPanelState(int state);
    int PanelState() const { return state_; }

    // A button's command by control id; public so that tests send any.
    void OnCommand(int id);

    SkinButton* Button(int id) const;
    QuickPalette* Palette() const { return palette_; }
    // Holds down the button of the store's current tool (after a tool key).
    void ShowCurrentTool();
    bool HasBackground() const { return !background_.isNull(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class StateRelay;

    void CreateButtons();
    // Runs dialog with the runner and deletes it; its result, or Rejected
    // when the dialog went away while it ran.
    int RunDialog(QDialog* dialog);
    void OnDefaultSet();
    void OnProperty();

    GraphicDialogContext context_;
    QWidget* main_window_ = nullptr;
    DialogRunner runner_;
    QImage background_; // "BackGround/Right.bmp"; null when missing
    int state_ = 0;
    std::vector<SkinButton*> buttons_; // in template order
    QuickPalette* palette_ = nullptr;
    std::shared_ptr<StateRelay> relay_; // shared with the store's handler
};
