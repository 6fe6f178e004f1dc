// Edit > Copy Text (Ctrl+Shift+C): the picture the view shows, as a
// snapshot would take it but without the annotations, read by TextCopy on a
// worker and put on the clipboard; a capture shown from the gallery is read
// from its file.
#include "window/MainWindow.h"

#include "TextCopy.h"
#include "WindowTrace.h"
#include "platform/system.h"

#include <QAction>
#include <QImage>
#include <QMetaObject>

void MainWindow::CreateTextCopy() {
    text_copy_ = std::make_unique<TextCopy>(
        lang_,
        [this](const QString& text) {
            message_.notice = text;
            message_.notice_tick = platform::GetTickCount();
            Refresh();
        },
        [this] { Refresh(); });
    // On the rendering thread: it only posts. The session, and with it the
    // camera's callbacks, ends before the window.
    session_->Grab().SetReceiver([this](std::shared_ptr<const PictureGrab::Picture> picture) {
        QMetaObject::invokeMethod(
            this, [this, picture] { OnTextPicture(*picture); }, Qt::QueuedConnection);
    });
}

void MainWindow::OnCopyText(uint32_t) {
    TRACE_DLG("OnCopyText");
    if (!text_copy_ || text_copy_->Busy())
        return;
    if (!held_capture_.empty()) {
        const QImage image =
            QImage(QString::fromStdString(held_capture_)).convertToFormat(QImage::Format_RGB32);
        // RGB32 is B, G, R, X in memory here, as the reader takes it.
        text_copy_->Read({image.constBits(), image.width(), image.height(),
                          static_cast<int>(image.bytesPerLine())});
        return;
    }
    if (!session_->Playing())
        return;
    text_copy_->AwaitPicture();
    session_->Grab().Request();
}

void MainWindow::OnTextPicture(const PictureGrab::Picture& picture) {
    if (!text_copy_ || !text_copy_->Waiting())
        return;
    text_copy_->Read({picture.pixels.data(), picture.width, picture.height, picture.width * 4});
}

void MainWindow::RefreshCopyText() {
    if (!text_copy_)
        return;
    const bool picture = session_->Playing() || !held_capture_.empty();
    // A picture stopped, pulled out or changed for another camera ends the
    // wait and the reading: the user moved on.
    if (text_copy_->Busy() && !picture) {
        session_->Grab().Abandon();
        text_copy_->Stop();
    }
    if (QAction* item = menu_->FindCommand(cmd::kCopyText))
        item->setEnabled(picture && !text_copy_->Busy());
}
