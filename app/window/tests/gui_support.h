// Shared by the widget tests: the QApplication, a throw-away program folder
// and waiting for Qt to deliver events.
#pragma once

#include "platform/system.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <system_error>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace testsupport {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "core_app_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt tears its devices down badly from a static destructor.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Processes events until done() holds; false after a bound of 5 s.
inline bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Counts the events of one type that reach a window, as a user of the
// window would observe them, without asking the window.
class EventCounter : public QObject {
public:
    EventCounter(QObject* target, QEvent::Type type) : target_(target), type_(type) {
        target_->installEventFilter(this);
    }
    ~EventCounter() override {
        if (target_)
            target_->removeEventFilter(this);
    }
    uint64_t Count() const { return count_.load(); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_)
            ++count_;
        return false;
    }

private:
    const QPointer<QObject> target_;
    const QEvent::Type type_;
    std::atomic<uint64_t> count_{0};
};

// A folder that stands in for the program's: the executable "lies" there,
// so its INI file and language files are there too.
class ProgramFolder {
public:
    ProgramFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = std::string("TovekCam_") + std::to_string(::getpid()) + "_" + info->name();
        dir_ = std::filesystem::temp_directory_path() / name_;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        std::filesystem::create_directories(dir_);
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        // The instance lock file goes here too, and away with the folder.
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    // Library threads may still be closing files of theirs here (lock files,
    // sockets): a clean-up that fails must not end the test run.
    ~ProgramFolder() {
        std::error_code ec;
        for (int attempt = 0; attempt < 3 && std::filesystem::exists(dir_, ec); ++attempt)
            std::filesystem::remove_all(dir_, ec);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // The executable's path; its base name is unique, so is its instance lock.
    std::string Exe() const { return (dir_ / name_).string(); }
    std::u16string Ini() const { return platform::Utf8ToUtf16((dir_ / (name_ + ".INI")).string()); }
    std::filesystem::path Path(const std::string& file) const { return dir_ / file; }

    void ShipLanguages() const {
        const std::filesystem::path bin =
            std::filesystem::path(std::getenv("TOVEK_BUILD_DIR")) / "bin";
        for (const char* lng : {"English.lng", "German.lng"})
            std::filesystem::copy_file(bin / lng, dir_ / lng);
    }
    void Write(const std::string& file, const std::string& text, bool append = false) const {
        std::ofstream(dir_ / file, append ? std::ios::app : std::ios::trunc) << text;
    }

private:
    std::string name_;
    std::filesystem::path dir_;
};

} // namespace testsupport
