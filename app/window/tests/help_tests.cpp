// The help command: the CHM file through the desktop's handler, the HTML
// pages in the browser where no handler opens CHM files, and the
// missing-file message without a CHM file.
#include "HelpFile.h"
#include "common/CommandIds.h"
#include "testsupport/gui_support.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

using help::Action;
using testsupport::ProgramFolder;

TEST(HelpRule, ChoosesWhatOpens) {
    const struct {
        bool chm, handler, pages;
        Action action;
    } kCases[] = {
        {false, false, false, Action::kMissing}, {false, true, true, Action::kMissing},
        {true, true, true, Action::kOpenChm},    {true, true, false, Action::kOpenChm},
        {true, false, true, Action::kOpenPages}, {true, false, false, Action::kOpenChm},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(help::Choose(c.chm, c.handler, c.pages), c.action)
            << c.chm << c.handler << c.pages;
}

TEST(HelpRule, FilesLieBesideTheProgram) {
    for (const char* folder : {"/opt/tc/", "/opt/tc"}) {
        const help::Files files = help::Locate(QString::fromLatin1(folder), "Lumivue");
        EXPECT_EQ(files.chm, "/opt/tc/Lumivue.chm");
        EXPECT_EQ(files.pages, "/opt/tc/help/index.html");
    }
}

// A desktop that records what it was asked to open.
class FakeDesktop final : public help::Desktop {
public:
    bool OpensChm() override { return opens_chm; }
    bool Open(const QUrl& url) override {
        opened.push_back(url.toLocalFile());
        return !fail_chm || !url.toLocalFile().endsWith(".chm");
    }
    bool opens_chm = true;
    bool fail_chm = false; // the handler cannot be started
    std::vector<QString> opened;
};

class HelpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        folder_ = std::make_unique<ProgramFolder>();
        folder_->Write("DocumentDevice.ini", "[Device]\ncount=1\n");
        SetMessageBoxService(&messages_);
        help::SetDesktop(&desktop_);
    }
    void TearDown() override {
        main_window_.reset();
        app_.reset();
        help::SetDesktop(nullptr);
        SetMessageBoxService(nullptr);
    }
    void Start() {
        app_ = std::make_unique<Application>();
        app_->SetExecutablePath(folder_->Exe());
        ASSERT_TRUE(app_->Start());
        main_window_ = std::make_unique<MainWindow>(*app_);
        main_window_->show();
    }
    QString File(const std::string& name) const {
        return QString::fromStdString(folder_->Path(name).string());
    }
    void ShipPages() const {
        std::filesystem::create_directories(folder_->Path("help"));
        folder_->Write("help/index.html", "<html></html>");
    }
    // As a user presses it: the menu item's shortcut of the active window.
    void PressF1() {
        main_window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main_window_.get()));
        QTest::keyClick(main_window_.get(), Qt::Key_F1);
    }

    FakeDesktop desktop_;
    RecordingMessageBox messages_;
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<MainWindow> main_window_;
};

TEST_F(HelpTest, F1OpensTheChmFileThroughTheDesktop) {
    folder_->Write("Lumivue.chm", "ITSF");
    ShipPages();
    Start();
    PressF1();
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], File("Lumivue.chm"));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(HelpTest, WithoutAChmViewerThePagesOpenInTheBrowser) {
    folder_->Write("Lumivue.chm", "ITSF");
    ShipPages();
    Start();
    desktop_.opens_chm = false;
    ASSERT_TRUE(main_window_->OnCommand(cmd::kHelp));
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], File("help/index.html"));

    // A handler that is listed but cannot be started: the pages after all.
    desktop_.opens_chm = true;
    desktop_.fail_chm = true;
    desktop_.opened.clear();
    ASSERT_TRUE(main_window_->OnCommand(cmd::kHelp));
    ASSERT_EQ(desktop_.opened.size(), 2u);
    EXPECT_EQ(desktop_.opened[1], File("help/index.html"));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(HelpTest, AMissingChmFileIsReportedWithItsName) {
    ShipPages(); // pages alone do not stand in for the help file
    Start();
    ASSERT_TRUE(main_window_->OnCommand(cmd::kHelp));
    EXPECT_TRUE(desktop_.opened.empty());
    const auto shown = messages_.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Can not find the help file: Lumivue.chm!");
    EXPECT_EQ(shown[0].caption, "Lumivue");
    EXPECT_EQ(shown[0].type, msgbox::kOk | msgbox::kIconExclamation);
}

} // namespace
