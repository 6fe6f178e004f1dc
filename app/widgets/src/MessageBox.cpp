#include "widgets/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

namespace {

class QtMessageBox final : public MessageBoxService {
public:
    int Show(QWidget* parent, const QString& text, const QString& caption, unsigned type) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon((type & msgbox::kIconMask) == msgbox::kIconExclamation ? QMessageBox::Warning
                                                                           : QMessageBox::NoIcon);
        if ((type & msgbox::kButtonMask) == msgbox::kOkCancel) {
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok ? msgbox::kIdOk : msgbox::kIdCancel;
    }
};

QtMessageBox g_qt_box;
// User-interface thread only, like every widget.
MessageBoxService* g_service = &g_qt_box;

} // namespace

void SetMessageBoxService(MessageBoxService* service) {
    g_service = service != nullptr ? service : &g_qt_box;
}

int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned type) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread()) {
        QPointer<QWidget> guarded(parent);
        QMetaObject::invokeMethod(
            app, [guarded, text, caption, type] { g_service->Show(guarded, text, caption, type); },
            Qt::QueuedConnection);
        return msgbox::kIdOk;
    }
    return g_service->Show(parent, text, caption, type);
}

int RecordingMessageBox::Show(QWidget*, const QString& text, const QString& caption,
                              unsigned type) {
    platform::MutexLock lock(mutex_);
    messages_.push_back({text, caption, type});
    return answer_;
}

std::vector<RecordingMessageBox::Message> RecordingMessageBox::Messages() const {
    platform::MutexLock lock(mutex_);
    return messages_;
}

void RecordingMessageBox::SetAnswer(int answer) {
    platform::MutexLock lock(mutex_);
    answer_ = answer;
}
