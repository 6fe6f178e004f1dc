// The program's one message-box service. Windows ask for a message through
// MessageBox(); the program shows a QMessageBox, tests install a recorder.
// Called on a thread other than the user-interface thread, the message is
// posted to that thread and MessageBox returns kIdOk at once: no library
// thread ever touches a widget.
#pragma once

#include "platform/thread_annotations.h"

#include <QString>

#include <vector>

class QWidget;

namespace msgbox {
// Flags and results with the values of the Win32 MessageBox.
inline constexpr unsigned kOk = 0x0;
inline constexpr unsigned kOkCancel = 0x1;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr unsigned kButtonMask = 0xF;
inline constexpr unsigned kIconMask = 0xF0;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
} // namespace msgbox

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows text with caption; type combines one button flag and one icon
    // flag. Returns the button pressed (kIdOk or kIdCancel).
    virtual int Show(QWidget* parent, const QString& text, const QString& caption,
                     unsigned type) = 0;
};

// Installs service (not owned; it must outlive its use); nullptr restores the
// QMessageBox service. User-interface thread only.
void SetMessageBoxService(MessageBoxService* service);

int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned type);

// Records every message and answers with a preset button; for tests.
class RecordingMessageBox final : public MessageBoxService {
public:
    struct Message {
        QString text;
        QString caption;
        unsigned type;
    };
    explicit RecordingMessageBox(int answer = msgbox::kIdOk) : answer_(answer) {}
    int Show(QWidget* parent, const QString& text, const QString& caption, unsigned type) override;
    std::vector<Message> Messages() const;
    void SetAnswer(int answer);

private:
    mutable platform::Mutex mutex_;
    std::vector<Message> messages_ TOVEK_GUARDED_BY(mutex_);
    int answer_ TOVEK_GUARDED_BY(mutex_);
};
