#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "platform/profile.h"
#include "settings/AppSettings.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "widgets/RightPanel.h"
#include "widgets/SkinSplitter.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <memory>

namespace {

using testsupport::ProcessEventsUntil;
using testsupport::ProgramFolder;

struct Expected {
    uint32_t id;
    const char* text;
    const char* shortcut; // "" for none
    int menu;             // position in the menu bar
    const char* popup;    // submenu inside that menu, or nullptr
};

// Every command of the main menu, as the user sees it in English.
const Expected kMenu[] = {
    {32774, "&Play\tCtrl+P", "Ctrl+P", 0, nullptr},
    {32775, "S&top\tCtrl+T", "Ctrl+T", 0, nullptr},
    {32776, "Captur&e\tCtrl+E", "Ctrl+E", 0, nullptr},
    {36810, "&Start Record", "", 0, nullptr},
    {36811, "Stop &Record", "", 0, nullptr},
    {36820, "Start T&ime-lapse...", "", 0, nullptr},
    {36821, "Stop Time-&lapse", "", 0, nullptr},
    {36792, "Se&tting", "", 0, nullptr},
    {57665, "E&xit", "", 0, nullptr},
    {36825, "&Undo\tCtrl+Z", "", 1, nullptr},
    {36826, "&Redo\tCtrl+Y", "", 1, nullptr},
    {36827, "&Clear Annotations", "", 1, nullptr},
    {36828, "&Hide Annotations\tCtrl+H", "", 1, nullptr},
    {32777, "Full Screen\tCtrl+Shift+Enter", "Ctrl+Shift+Return", 2, nullptr},
    {32778, "Actual Size", "", 2, "Zoom"},
    {32779, "Fit Height", "", 2, "Zoom"},
    {32780, "Fit Width", "", 2, "Zoom"},
    {32781, "Fit Window", "", 2, "Zoom"},
    {32782, "Fit Image", "", 2, "Zoom"},
    {36797, "Zoom &in\tCtrl+I", "Ctrl+I", 4, nullptr},
    {36798, "Zoom &out\tCtrl+O", "Ctrl+O", 4, nullptr},
    {36801, "Focus fa&r\tCtrl+R", "Ctrl+R", 4, nullptr},
    {36802, "Focus &near\tCtrl+N", "Ctrl+N", 4, nullptr},
    {36799, "&Bright more\tCtrl+B", "Ctrl+B", 4, nullptr},
    {36800, "Bright &less\tCtrl+L", "Ctrl+L", 4, nullptr},
    {36803, "A&uto\tCtrl+U", "Ctrl+U", 4, nullptr},
    {36804, "&Mirror\tCtrl+M", "Ctrl+M", 4, nullptr},
    {36805, "Mono/Color\tCtrl+K", "Ctrl+K", 4, nullptr},
    {36806, "Ne&g\tCtrl+G", "Ctrl+G", 4, nullptr},
    {34790, "None", "", 5, nullptr},
    {36807, "&Lumivue Help\tF1", "F1", 6, nullptr},
    {36809, "&About Lumivue", "", 6, nullptr},
};

std::u16string Raw(const std::u16string& ini, const char16_t* key) {
    char16_t buffer[512];
    platform::GetPrivateProfileStringW(u"TovekCamera", key, u"<missing>", buffer, 512, ini.c_str());
    return buffer;
}

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        folder_ = std::make_unique<ProgramFolder>();
        SetMessageBoxService(&recorder_); // a real box would wait for a user
        // No camera: these tests are about the window, not a device.
        folder_->Write("DocumentDevice.ini", "[Device]\ncount=1\n");
    }
    void TearDown() override {
        main_window_.reset();
        app_.reset();
        SetMessageBoxService(nullptr);
    }
    void Start() {
        app_ = std::make_unique<Application>();
        app_->SetExecutablePath(folder_->Exe());
        ASSERT_TRUE(app_->Start());
        main_window_ = std::make_unique<MainWindow>(*app_);
    }
    QString MenuTitle(int position) {
        return main_window_->Menu().Bar()->actions().at(position)->text();
    }
    void SetIni(const char16_t* key, const char16_t* value) {
        platform::WritePrivateProfileStringW(u"TovekCamera", key, value, folder_->Ini().c_str());
    }

    RecordingMessageBox recorder_;
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<MainWindow> main_window_;
};

TEST_F(DialogTest, FindCommandFollowsItemsThatComeGoAndChange) {
    Start();
    MainMenu& menu = main_window_->Menu();
    ASSERT_NE(menu.FindCommand(cmd::kPlay), nullptr);
    ASSERT_EQ(menu.FillDevices({"One", "Two", "Three"}), 3);
    ASSERT_NE(menu.FindCommand(cmd::kDeviceFirst + 2), nullptr);
    EXPECT_EQ(menu.FindCommand(cmd::kDeviceFirst + 2)->text(), "Three");
    delete menu.FindCommand(cmd::kHelp);
    EXPECT_EQ(menu.FindCommand(cmd::kHelp), nullptr);
    menu.FindCommand(cmd::kAbout)->setData(cmd::kHelp);
    ASSERT_NE(menu.FindCommand(cmd::kHelp), nullptr);
    EXPECT_EQ(menu.FindCommand(cmd::kAbout), nullptr);
    EXPECT_NE(menu.FindCommand(cmd::kPlay), nullptr);
}

TEST_F(DialogTest, CarriesTheTitleAndEveryMenuCommand) {
    folder_->ShipLanguages();
    Start();
    main_window_->show();
    EXPECT_EQ(main_window_->windowTitle(), "LUMIVUE DEMO");
    ASSERT_EQ(main_window_->Menu().Bar()->actions().size(), 7);
    EXPECT_EQ(MenuTitle(1), "&Edit");
    EXPECT_EQ(MenuTitle(res::kLanguageMenuPosition), "Language");
    EXPECT_EQ(MenuTitle(4), "&Control");
    EXPECT_EQ(MenuTitle(res::kDeviceMenuPosition), "Device");

    for (const Expected& e : kMenu) {
        SCOPED_TRACE(e.id);
        QAction* item = main_window_->Menu().FindCommand(e.id);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), e.text);
        EXPECT_EQ(item->shortcut(), QKeySequence(e.shortcut));
        QMenu* menu = main_window_->Menu().SubMenu(e.menu);
        if (e.popup != nullptr) {
            ASSERT_NE(item->parent(), menu);
            EXPECT_EQ(qobject_cast<QMenu*>(item->parent())->title(), e.popup);
            EXPECT_EQ(item->parent()->parent(), menu);
        } else {
            EXPECT_EQ(item->parent(), menu);
        }
    }
    const QList<QAction*> languages =
        main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions();
    ASSERT_EQ(languages.size(), 2);
    EXPECT_EQ(languages.at(0)->data().toUInt(), cmd::kLanguageFirst);
    EXPECT_EQ(languages.at(1)->text(), "Deutsch");
    EXPECT_TRUE(languages.at(0)->isChecked());
    EXPECT_TRUE(main_window_->Menu().FindCommand(32779)->isChecked()); // zoom mode 1 by default
}

TEST_F(DialogTest, DispatchesEveryCommandIdThroughOneTable) {
    Start();
    for (const Expected& e : kMenu) {
        if (e.id != cmd::kExit) {
            EXPECT_TRUE(main_window_->OnCommand(e.id)) << e.id;
        }
    }
    EXPECT_TRUE(main_window_->OnCommand(cmd::kOptions));
    EXPECT_FALSE(main_window_->OnCommand(12345));
    EXPECT_FALSE(main_window_->OnCommand(0));
}

TEST_F(DialogTest, ExitCloseButtonAndEscape) {
    Start();
    main_window_->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->isVisible(); }));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(main_window_.get(), &esc);
    EXPECT_TRUE(main_window_->isVisible()); // Esc does not close the main window

    main_window_->Menu().FindCommand(cmd::kExit)->trigger(); // as the menu does
    EXPECT_FALSE(main_window_->isVisible());
    EXPECT_EQ(main_window_->result(), QDialog::Rejected);

    main_window_->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->isVisible(); }));
    EXPECT_TRUE(main_window_->close()); // the close button
    EXPECT_FALSE(main_window_->isVisible());
}

TEST_F(DialogTest, SwitchesToGermanAndBack) {
    folder_->ShipLanguages();
    folder_->Write("German.lng", "[Dialog900]\n0=Testfenster\n1001=Beschriftung\n", true);
    Start();
    main_window_->show();

    // The view's own context menu follows the language too.
    QAction* fit_width = nullptr;
    for (QAction* item : main_window_->View()->ContextMenu()->actions())
        if (item->data().toUInt() == cmd::kZoomFirst + 2)
            fit_width = item;
    ASSERT_NE(fit_width, nullptr);
    QDialog open_dialog;
    SetDialogId(&open_dialog, 900);
    open_dialog.setWindowTitle("Test window");
    auto* label = new QLabel("Label", &open_dialog);
    SetDlgCtrlId(label, 1001);
    open_dialog.show();

    main_window_->Menu()
        .SubMenu(res::kLanguageMenuPosition)
        ->actions()
        .at(1)
        ->trigger(); // "Deutsch"
    EXPECT_EQ(main_window_->windowTitle(), "LUMIVUE DEMOVERSION");
    EXPECT_EQ(MenuTitle(0), "&Datei");
    EXPECT_EQ(MenuTitle(1), "&Bearbeiten");
    EXPECT_EQ(MenuTitle(2), "&Ansicht"); // the language file's P1: the menus keep their keys
    EXPECT_EQ(MenuTitle(res::kLanguageMenuPosition), "Sprache");
    EXPECT_EQ(MenuTitle(res::kDeviceMenuPosition), QString::fromUtf8("Gerät"));
    EXPECT_EQ(main_window_->Menu().FindCommand(cmd::kExit)->text(), "Be&enden");
    EXPECT_EQ(main_window_->Menu().FindCommand(cmd::kPlay)->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(fit_width->text(), "An Breite anpassen");
    EXPECT_EQ(open_dialog.windowTitle(), "Testfenster");
    EXPECT_EQ(label->text(), "Beschriftung");
    EXPECT_TRUE(
        main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().at(1)->isChecked());
    EXPECT_FALSE(
        main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().at(0)->isChecked());
    EXPECT_EQ(Raw(folder_->Ini(), u"Language"), u"German.lng");

    // Choosing the current language again changes nothing and keeps its mark.
    main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().at(1)->trigger();
    EXPECT_TRUE(
        main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().at(1)->isChecked());
    EXPECT_EQ(MenuTitle(0), "&Datei");

    ASSERT_TRUE(main_window_->OnCommand(cmd::kLanguageFirst));
    EXPECT_EQ(main_window_->windowTitle(), "LUMIVUE DEMO");
    EXPECT_EQ(MenuTitle(0), "&File");
    EXPECT_EQ(main_window_->Menu().FindCommand(cmd::kExit)->text(), "E&xit");
    EXPECT_EQ(fit_width->text(), "Fit Width");
    EXPECT_EQ(open_dialog.windowTitle(), "Test window");
    EXPECT_EQ(label->text(), "Label");
}

TEST_F(DialogTest, MalformedLanguageFileFallsBackToEnglish) {
    folder_->ShipLanguages();
    folder_->Write("German.lng", "\xFF\xFE garbage [Language\nName\n=\n");
    SetIni(u"Language", u"German.lng");
    Start();
    EXPECT_EQ(main_window_->windowTitle(), "LUMIVUE DEMO");
    EXPECT_EQ(MenuTitle(0), "&File");
    EXPECT_EQ(main_window_->Menu().FindCommand(cmd::kPlay)->text(), "&Play\tCtrl+P");
    ASSERT_EQ(main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().size(), 1);
    EXPECT_EQ(main_window_->Menu().SubMenu(res::kLanguageMenuPosition)->actions().at(0)->text(),
              "English");
}

TEST_F(DialogTest, PlacementIsReadAndSavedWhileNormal) {
    SetIni(u"WindowPos", u"6400000032000000E8030000EE020000"); // 100, 50, 1000, 750
    SetIni(u"ZoomMode", u"3");
    Start();
    EXPECT_EQ(main_window_->pos(), QPoint(100, 50));
    EXPECT_EQ(main_window_->size(), QSize(900, 700));
    EXPECT_EQ(main_window_->View()->ZoomMode(), 3);
    EXPECT_TRUE(main_window_->Menu().FindCommand(32781)->isChecked());

    main_window_->show();
    main_window_->move(200, 120);
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->pos() == QPoint(200, 120); }));
    EXPECT_EQ(Raw(folder_->Ini(), u"WindowPos"), u"C8000000780000004C04000034030000");
    main_window_->resize(1000, 700);
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->size() == QSize(1000, 700); }));
    EXPECT_EQ(Raw(folder_->Ini(), u"WindowPos"), u"C800000078000000B004000034030000");
    EXPECT_EQ(Raw(folder_->Ini(), u"ShowWindowMode"), u"0");

    main_window_->showMaximized();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Raw(folder_->Ini(), u"ShowWindowMode") == u"2"; }));
    // The normal position stays the one saved last.
    EXPECT_EQ(Raw(folder_->Ini(), u"WindowPos"), u"C800000078000000B004000034030000");

    ASSERT_TRUE(main_window_->OnCommand(32782));
    EXPECT_EQ(Raw(folder_->Ini(), u"ZoomMode"), u"4");
    EXPECT_TRUE(main_window_->Menu().FindCommand(32782)->isChecked());
    EXPECT_FALSE(main_window_->Menu().FindCommand(32781)->isChecked());
}

TEST_F(DialogTest, InvalidPlacementGivesTheDefaultWindow) {
    SetIni(u"WindowPos", u"6400000032000000840300008202000"); // 31 digits
    SetIni(u"ShowWindowMode", u"7");
    SetIni(u"ZoomMode", u"5");
    Start();
    EXPECT_EQ(main_window_->pos(), QPoint(0, 0));
    // The default 600 x 450 grows to the smallest size the window takes.
    EXPECT_EQ(main_window_->size(), QSize(800, 600));
    EXPECT_EQ(main_window_->View()->ZoomMode(), 1);
    EXPECT_FALSE(main_window_->isMaximized());

    main_window_.reset();
    SetIni(u"WindowPos", u"10270000102700001C2B00001C2B0000"); // 10000, 10000: off every screen
    main_window_ = std::make_unique<MainWindow>(*app_);
    EXPECT_EQ(main_window_->pos(), QPoint(0, 0));
}

TEST_F(DialogTest, HelpWithoutItsFileSaysSoInAMessageBox) {
    Start();
    ASSERT_TRUE(main_window_->OnCommand(cmd::kHelp));
    const auto messages = recorder_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Can not find the help file: Lumivue.chm!");
    EXPECT_EQ(messages[0].caption, "Lumivue");
    EXPECT_EQ(messages[0].type, msgbox::kOk | msgbox::kIconExclamation);
}

} // namespace

namespace {

TEST_F(DialogTest, LaysOutPanelsSplitterAndStatusBarWithinItsSizeLimits) {
    Start();
    main_window_->show();
    main_window_->resize(1000, 700);
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->size() == QSize(1000, 700); }));
    MainLayout& layout = main_window_->Layouter();
    const QRect client = layout.ClientRect();
    EXPECT_EQ(layout.GetCommandPanel()->geometry(), QRect(0, client.top(), 1000, 80));
    // Without the tool bar column the splitter starts at the left edge and
    // the view fills it; the status bar sits below it.
    const QRect splitter = layout.Splitter()->geometry();
    EXPECT_EQ(splitter.left(), 0);
    EXPECT_EQ(splitter.top(), client.top() + 80);
    EXPECT_EQ(main_window_->View()->geometry(), QRect(QPoint(0, 0), splitter.size()));
    EXPECT_EQ(main_window_->Panes().Bar()->geometry().top(), splitter.bottom() + 1);
    EXPECT_EQ(main_window_->Panes().Bar()->geometry().bottom(), 699);

    layout.SetToolBarShown(true);
    main_window_->Layout();
    EXPECT_EQ(layout.Splitter()->geometry().left(), 138);
    EXPECT_EQ(layout.ToolBar()->geometry(), QRect(0, client.top() + 80, 138, splitter.height()));
    layout.SetAnnotationMode(true);
    EXPECT_EQ(layout.GetRightPanel()->width(), 98);
    EXPECT_EQ(main_window_->View()->width(), 1000 - 138 - 98);

    for (const QSize& asked : {QSize(640, 480), QSize(1600, 1200)}) {
        main_window_->resize(asked);
        QApplication::processEvents();
        EXPECT_GE(main_window_->width(), 800);
        EXPECT_GE(main_window_->height(), 600);
        EXPECT_LE(main_window_->width(), 1280);
        EXPECT_LE(main_window_->height(), 1024);
    }
    // Closing stops the picture, which hides the right pane: the view's right
    // edge is then the splitter's.
    const int right_edge = layout.Splitter()->width();
    main_window_.reset();
    char16_t value[32];
    platform::GetPrivateProfileStringW(u"splt\\init125", u"VertSplitPos", u"", value, 32,
                                       folder_->Ini().c_str());
    EXPECT_EQ(QString::fromStdU16String(value), QString::number(right_edge));
}

} // namespace
