// Shared by the tests of widgets and windows: the QApplication, a throw-away
// program folder, counting the events a window receives, and (qt_wait.h)
// waiting for Qt to deliver events.
#pragma once

#include "platform/system.h"
#include "testsupport/build_bin.h"
#include "testsupport/qt_wait.h"
#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <QApplication>
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
    ProgramFolder()
        : name_(std::string("TovekCam_") + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()),
          folder_("TovekCam"),
          // The instance lock file goes here too, and away with the folder.
          runtime_dir_("XDG_RUNTIME_DIR", folder_.Path().c_str()) {}

    // The executable's path; its base name is unique, so is its instance lock.
    std::string Exe() const { return folder_.File(name_); }
    std::u16string Ini() const { return platform::Utf8ToUtf16(folder_.File(name_ + ".INI")); }
    std::filesystem::path Path(const std::string& file) const { return folder_.Path() / file; }

    void ShipLanguages() const {
        const std::filesystem::path bin = BuildBin();
        for (const char* lng : {"English.lng", "German.lng"})
            std::filesystem::copy_file(bin / lng, folder_.Path() / lng);
    }
    void Write(const std::string& file, const std::string& text, bool append = false) const {
        std::ofstream(folder_.Path() / file, append ? std::ios::app : std::ios::trunc) << text;
    }

private:
    const std::string name_;
    const TempFolder folder_;
    const ScopedEnv runtime_dir_;
};

} // namespace testsupport
