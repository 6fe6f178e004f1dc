// The window's children that are not camera business: the video view with
// its handlers, the command panel, the control tool bar and the settings
// dialog, and what the command panel asks of the window.
#include "window/MainWindow.h"

#include "PixelDemand.h"
#include "WindowTrace.h"
#include "annotation/OverlayRenderer.h"
#include "common/AppTrace.h"
#include "common/DlgItem.h"
#include "view/VideoView.h"
#include "widgets/CommandPanel.h"
#include "widgets/ControlToolBar.h"
#include "widgets/GraphicPanel.h"
#include "widgets/MessageBox.h"
#include "widgets/RightPanel.h"
#include "widgets/SettingsDialog.h"
#include "window/Application.h"

#include <QMenu>

void MainWindow::CreateViewAndPanels() {
    view_ = new VideoView(this);
    // Nothing decodes the camera's pictures while no one can see them, and
    // the window's timers slow down.
    pixel_demand_ = new PixelDemand(view_, [this](bool wanted) {
        CameraSession::SetPixelsWanted(wanted);
        OnPictureSeen(wanted);
    });
    // The shapes drawn over the picture: edited by the view's mouse, drawn by
    // the session's overlay worker.
    annotations_.SetDefaults(app_.Settings().graphic);
    annotations_.SetTextMeasure(annotation::MeasureText);
    editor_ = std::make_unique<annotation::AnnotationEditor>(annotations_);
    view_->SetMouseInput(editor_.get());
    view_->SetPageMode(&session_->Page());
    session_->Overlay().SetSizedRenderer(
        [this](uint8_t* overlay, size_t size, OverlayExtent* extent, int* width, int* height) {
            return annotation::RenderOverlay(annotations_, overlay, size, extent, width, height);
        });
    session_->Overlay().SetRedrawSource([this] { return annotations_.TakeRedraw(); });
    annotations_.SetRenderWaker([this] {
        if (session_)
            session_->Overlay().Wake();
    });
    view_->SetDisplayRectHandler([this](const RECT& r) {
        if (session_)
            session_->Refresh(r);
    });
    // Pictures are decoded no larger than the view shows them.
    view_->SetShownPixelsHandler([this](int width, int height) {
        if (session_)
            session_->SetViewSize(width, height);
    });
    view_->SetPlayingQuery([this] { return session_ && session_->Playing(); });
    // The view owns the zoom mode; the window keeps the menu check and the
    // setting in step with it.
    view_->SetZoomModeHandler([this](int mode) {
        if (mode != stored_zoom_mode_)
            app_.Ini()->WriteInt(settings::kSectionApp, settings::kZoomMode, mode, 10);
        stored_zoom_mode_ = mode;
        if (session_)
            Refresh();
    });
    view_->SetLayoutHandler([this] {
        Layout();
        Refresh();
    });
    view_->SetFullScreenHandler(
        [this](bool entering) { banner_.FollowFullScreen(view_, entering); });
    view_->SetStoppedHandler([this] {
        if (session_)
            session_->HideStoppedVideo();
    });
    QMenu* context_menu = view_->ContextMenu();
    context_menu->setProperty(kMenuIdProperty, res::kViewContextMenu);
    LangTranslateMenu(lang_, context_menu, res::kViewContextMenu);
    command_panel_ = new CommandPanel(this, static_cast<CommandPanelHost*>(this));
    tool_bar_ = new ControlToolBar(this);
    tool_bar_->SetControlKeySender([this](int code) { return SendControlKey(this, code); });
}

void MainWindow::OnSetting(uint32_t) {
    TRACE_DLG("OnSetting");
    // A new dialog each time, so it shows the settings as they are now; it
    // lists the sound sources and compressors as it is made.
    delete setting_dlg_;
    SettingDialogContext context;
    context.ini = app_.Ini();
    context.settings = &app_.Settings();
    context.documents_folder = app_.DocumentsFolder();
    context.audio_choices = &app_.audio_choices;
    context.list_audio = [this] { return TakeAudioChoices(); };
    context.lang = lang_;
    setting_dlg_ = new SettingsDialog(std::move(context), this);
    setting_dlg_->Open();
}

SettingsDialog* MainWindow::SettingDialog() const {
    return setting_dlg_;
}

bool MainWindow::ShowLogo() const {
    return app_.Settings().show_logo;
}

// Listing connects every compressor once, which takes a moment: the window
// starts it in the background when it has a camera, and the first recording
// or settings dialog takes the result (or lists afresh after that).
void MainWindow::StartAudioListing() {
    audio_listing_ = std::async(std::launch::async, [] { return record::ListAudioChoices(); });
}

record::AudioChoices MainWindow::TakeAudioChoices() {
    if (audio_listing_.valid())
        return audio_listing_.get();
    return record::ListAudioChoices();
}

// Edit menu: the annotations' history, clearing and hiding them.
void MainWindow::OnEditMenu(uint32_t id) {
    switch (id) {
    case cmd::kUndo:
        annotations_.Undo();
        break;
    case cmd::kRedo:
        annotations_.Redo();
        break;
    case cmd::kClearAnnotations:
        annotations_.ClearAll();
        break;
    case cmd::kHideAnnotations:
        annotations_.SetHidden(!annotations_.Hidden());
        break;
    default:
        return;
    }
    Refresh();
}

// The tool keys choose what the panel's buttons choose, while it is there
// to show the choice.
bool MainWindow::KeyTool(annotation::DrawTool tool) {
    if (!session_->Playing() || annotation_panel_ == nullptr || !annotation_panel_->isVisible())
        return false;
    annotations_.SetTool(tool);
    annotation_panel_->ShowCurrentTool();
    return true;
}

// The annotation tool panel, hosted by the right panel: its buttons choose
// the tool and open the graphic dialogs over this window.
void MainWindow::CreateAnnotationPanel() {
    GraphicDialogContext context;
    context.store = &annotations_;
    context.ini = app_.Ini();
    context.settings = &app_.Settings();
    context.lang = lang_;
    context.message = &MessageBox;
    annotation_panel_ = new GraphicPanel(std::move(context));
    annotation_panel_->SetMainWindow(this);
    layout_->GetRightPanel()->SetHostedPanel(
        annotation_panel_, [panel = annotation_panel_](int state) { panel->SetPanelState(state); });
}
