// Page mode and the document filter (View menu). The session's page mode
// finds the page in the rendered samples and makes the snapshots' picture;
// the view paints the same and takes the corner handles.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "common/CommandIds.h"
#include "view/VideoView.h"
#include "window/Application.h"
#include "window/MainMenu.h"

#include <QAction>

void MainWindow::OnPageMode(uint32_t id) {
    TRACE_DLG("OnPageMode");
    page::PageMode& page = session_->Page();
    if (id == cmd::kPageMode)
        page.SetEnabled(!page.Enabled() && session_->Playing());
    else if (id == cmd::kDocumentFilter)
        page.SetFilter(!page.Filter() && session_->Playing(), app_.Settings().document_filter_grey);
    else if (id == cmd::kResetPage)
        page.Reset();
    view_->update();
    Refresh();
}

void MainWindow::RefreshPageMode() {
    const page::PageMode& page = session_->Page();
    const bool playing = session_->Playing();
    if (QAction* item = menu_->FindCommand(cmd::kPageMode)) {
        item->setEnabled(playing);
        item->setChecked(page.Enabled());
    }
    if (QAction* item = menu_->FindCommand(cmd::kDocumentFilter)) {
        item->setEnabled(playing);
        item->setChecked(page.Filter());
    }
    if (QAction* item = menu_->FindCommand(cmd::kResetPage))
        item->setEnabled(playing && page.Enabled() && page.Current().manual);
}
