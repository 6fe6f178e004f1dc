// File > Share With Class, its dialog and status pane, and the second
// start's --share and --share-stop.
#include "ShareControl.h"

#include "camera/CameraSession.h"
#include "common/LangText.h"
#include "widgets/MessageBox.h"
#include "widgets/ShareDialog.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

ShareControl::ShareControl(QWidget* window, HLANGCTX lang, CameraSession& session, QAction* item,
                           QStatusBar* bar)
    : QObject(window), window_(window), lang_(lang), session_(session), item_(item),
      share_(std::make_unique<share::ShareSession>(&session.Overlay(), &session.Shown(),
                                                   &session.Page())),
      timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &ShareControl::Refresh);
    if (bar != nullptr) {
        // Before the fixed panes; hidden, it leaves them where they were.
        pane_ = new QLabel(bar);
        bar->insertPermanentWidget(1, pane_); // after the message pane
        pane_->hide();
    }
}

ShareControl::~ShareControl() {
    Stop();
}

bool ShareControl::Start(int port, std::string* error) {
    if (share_->Running())
        return true;
    share::ServerOptions options;
    options.port = static_cast<uint16_t>(port);
    if (!share_->Start(options, error))
        return false;
    share::ShareSession* share = share_.get();
    session_.SetFrameTap(
        [share](const uint8_t* jpeg, size_t length) { share->OnFrame(jpeg, length); });
    timer_->start(kRefreshMs);
    if (dialog_)
        dialog_->SetUrls(share_->Server().Urls());
    Refresh();
    return true;
}

void ShareControl::Stop() {
    // The tap goes first: no frame reaches the share while it stops.
    session_.SetFrameTap({});
    share_->Stop();
    timer_->stop();
    if (dialog_)
        dialog_->close();
    Refresh();
}

void ShareControl::ShowDialog() {
    if (!share_->Running())
        return;
    if (!dialog_) {
        dialog_ = new ShareDialog(lang_, window_);
        dialog_->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog_->SetUrls(share_->Server().Urls());
    dialog_->SetWatching(share_->Viewers());
    dialog_->show();
    dialog_->raise();
}

std::string ShareControl::FirstUrl() const {
    if (!share_->Running())
        return {};
    const std::vector<std::string> urls = share_->Server().Urls();
    return urls.empty() ? share_->Server().UrlFor("127.0.0.1") : urls.front();
}

ShareDialog* ShareControl::Dialog() const {
    return dialog_;
}

void ShareControl::Refresh() {
    const bool running = share_->Running();
    if (item_ != nullptr)
        item_->setChecked(running);
    if (pane_ != nullptr) {
        if (running)
            pane_->setText(LangText(lang_, "Sharing: %1 watching").arg(share_->Viewers()));
        pane_->setVisible(running);
    }
    if (dialog_)
        dialog_->SetWatching(share_->Viewers());
}

void MainWindow::CreateShare() {
    share_ = std::make_unique<ShareControl>(this, lang_, *session_, menu_->FindCommand(cmd::kShare),
                                            panes_->Bar());
}

void MainWindow::OnShare(uint32_t id) {
    const bool start = id == cmd::kShareStart || (id == cmd::kShare && !share_->Running());
    if (!start) {
        share_->Stop();
        return;
    }
    std::string error;
    if (!share_->Start(app_.Settings().share_port, &error)) {
        const QString text = LangText(lang_, "Sharing could not start: %1")
                                 .arg(QString::fromLocal8Bit(error.c_str()));
        MessageBox(this, text, app_.Caption(), msgbox::kOk | msgbox::kIconExclamation);
        share_->Stop();
        return;
    }
    // From the menu: the addresses to show the class. A second start gets
    // the address printed instead.
    if (id == cmd::kShare)
        share_->ShowDialog();
}

std::string MainWindow::ShareUrl() const {
    return share_ ? share_->FirstUrl() : std::string();
}
