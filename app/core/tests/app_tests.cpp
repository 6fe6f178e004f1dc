#include "CommandIds.h"
#include "TovekCameraApp.h"
#include "TovekCameraDlg.h"
#include "gui_support.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

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
    TovekCameraApp app;
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
    EXPECT_EQ(TovekCameraApp::Get(), &app);
}

TEST_F(AppTest, ASecondInstanceOfTheSameProgramDoesNotStart) {
    ProgramFolder folder;
    TovekCameraApp first;
    first.SetExecutablePath(folder.Exe());
    ASSERT_TRUE(first.Start());

    TovekCameraApp second;
    second.SetExecutablePath(folder.Exe());
    bool window_ran = false;
    second.SetWindowRunner([&](TovekCameraDlg&) { window_ran = true; });
    EXPECT_FALSE(second.Start());
    EXPECT_FALSE(second.InitInstance());
    EXPECT_FALSE(window_ran);
    EXPECT_EQ(second.ExitInstance(), 0);
}

TEST_F(AppTest, InitInstanceRunsTheWindowUntilExit) {
    ProgramFolder folder;
    folder.ShipLanguages();
    TovekCameraApp app;
    app.SetExecutablePath(folder.Exe());
    int result = -1;
    QString title;
    app.SetWindowRunner([&](TovekCameraDlg& dlg) {
        dlg.show();
        title = dlg.windowTitle();
        EXPECT_TRUE(dlg.OnCommand(cmd::kExit));
        result = dlg.result();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_FALSE(app.InitInstance()); // no application message loop follows
    EXPECT_EQ(title, "LUMIVUE DEMO");
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(app.ExitInstance(), 0); // twice is harmless
}

} // namespace
