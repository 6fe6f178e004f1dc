#include "common/CommandIds.h"
#include "platform/profile.h"
#include "testsupport/gui_support.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include "testsupport/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

using testsupport::ProgramFolder;

std::u16string Raw(const std::u16string& ini, const char16_t* key) {
    char16_t buffer[512];
    platform::GetPrivateProfileStringW(u"TovekCamera", key, u"<missing>", buffer, 512, ini.c_str());
    return buffer;
}

class AppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
};

TEST_F(AppTest, StartDerivesPathsAndReadsTheSettings) {
    ProgramFolder folder;
    Application app;
    app.SetExecutablePath(folder.Exe());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.IniPath(), folder.Ini());
    EXPECT_EQ(app.ProgramFolder().back(), u'/');
    EXPECT_EQ(app.ProgramFolder() + platform::Utf8ToUtf16(app.AppName()) + u".INI", folder.Ini());
    EXPECT_EQ(app.Caption(), "Lumivue");
    EXPECT_EQ(app.Settings().capture_path, app.ProgramFolder());
    EXPECT_NE(app.LangContext(), nullptr);
    EXPECT_EQ(Raw(folder.Ini(), u"MessageBoxString"), u"Lumivue");
    EXPECT_EQ(Raw(folder.Ini(), u"ShowLogo"), u"0");
    EXPECT_EQ(Application::Get(), &app);
}

using testsupport::ScopedEnv;

// The program as the package installs it: <prefix>/bin/<exe> and its files in
// <prefix>/share/tovekcamera/. Settings go to the XDG configuration folder and
// the pictures and videos to the XDG folders; nothing is written beside the
// executable.
TEST_F(AppTest, InstalledProgramKeepsItsSettingsInTheXdgFolders) {
    namespace fs = std::filesystem;
    ProgramFolder folder;
    const fs::path root = folder.Path("root");
    fs::create_directories(root / "usr/bin");
    fs::create_directories(root / "usr/share/tovekcamera");
    std::ofstream(root / "usr/share/tovekcamera/DocumentDevice.ini") << "[Device]\n";
    ScopedEnv home("HOME", (root / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", (root / "home/.config").string());
    const std::string name = fs::path(folder.Exe()).filename().string();

    Application app;
    app.SetExecutablePath((root / "usr/bin" / name).string());
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(app.Layout().installed);
    const fs::path ini = root / "home/.config" / name / (name + ".INI");
    EXPECT_EQ(app.IniPath(), platform::Utf8ToUtf16(ini.string()));
    EXPECT_EQ(Raw(app.IniPath(), u"MessageBoxString"), u"Lumivue");
    EXPECT_EQ(app.ProgramFolder(),
              platform::Utf8ToUtf16((root / "usr/share/tovekcamera/").string()));
    EXPECT_EQ(app.Settings().capture_path,
              platform::Utf8ToUtf16((root / "home/Pictures/").string()));
    EXPECT_EQ(app.Settings().record_path, platform::Utf8ToUtf16((root / "home/Videos/").string()));
    EXPECT_TRUE(fs::is_empty(root / "usr/bin"));
}

TEST_F(AppTest, ASecondInstanceOfTheSameProgramDoesNotStart) {
    ProgramFolder folder;
    Application first;
    first.SetExecutablePath(folder.Exe());
    ASSERT_TRUE(first.Start());

    Application second;
    second.SetExecutablePath(folder.Exe());
    bool window_ran = false;
    second.SetWindowRunner([&](MainWindow&) { window_ran = true; });
    EXPECT_FALSE(second.Start());
    EXPECT_FALSE(second.InitInstance());
    EXPECT_FALSE(window_ran);
    EXPECT_EQ(second.ExitInstance(), 0);
}

TEST_F(AppTest, InitInstanceRunsTheWindowUntilExit) {
    ProgramFolder folder;
    folder.ShipLanguages();
    Application app;
    app.SetExecutablePath(folder.Exe());
    int result = -1;
    QString title;
    app.SetWindowRunner([&](MainWindow& main_window) {
        main_window.show();
        title = main_window.windowTitle();
        EXPECT_TRUE(main_window.OnCommand(cmd::kExit));
        result = main_window.result();
        EXPECT_FALSE(main_window.isVisible());
    });
    EXPECT_FALSE(app.InitInstance()); // no application message loop follows
    EXPECT_EQ(title, "LUMIVUE DEMO");
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(app.ExitInstance(), 0); // twice is harmless
}

} // namespace
