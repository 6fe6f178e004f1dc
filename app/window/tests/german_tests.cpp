// Every window of the program under German shows no English text left, and a
// language switch at run time changes every open window.
//
// A visible text passes when each of its words is a word of German.lng (or a
// name that stays, like "AVI"), and it is not one of English.lng's texts that
// German.lng says otherwise.
#include "capture/Snapshot.h"
#include "common/AccessText.h"
#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "lng_file.h"
#include "platform/profile.h"
#include "testsupport/build_bin.h"
#include "view/VideoView.h"
#include "widgets/AboutBox.h"
#include "widgets/CommandPanel.h"
#include "widgets/ControlToolBar.h"
#include "widgets/GraphicDefaultsDialog.h"
#include "widgets/GraphicPanel.h"
#include "widgets/GraphicPropertyDialog.h"
#include "widgets/SettingsDialog.h"
#include "widgets/SkinButton.h"
#include "window/StatusBanner.h"
#include "window/StatusPanes.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace {

using testsupport::ProcessEventsUntil;

// Words that stay as they are in every language.
const char* const kNames[] = {"Lumivue", "LUMIVUE", "AVI", "MJPG", "JPEG", "USB", "OK",
                              "PC",      "AF",      "AWB", "chm",  "X",    "Y"};

lang::LngFile Load(const char* name) {
    lang::LngFile file;
    const std::string path = (testsupport::BuildBin() / name).string();
    EXPECT_TRUE(lang::LoadLng(path, &file)) << path;
    return file;
}

template <typename F>
void EachText(const lang::LngFile& file, F&& f) {
    for (const auto& [id, text] : file.strings)
        f(QString::fromStdU16String(text));
    for (const auto& [key, text] : file.keys)
        f(QString::fromStdU16String(text));
    for (const auto& [id, items] : file.menus)
        for (const auto& [key, text] : items)
            f(QString::fromStdU16String(text));
    for (const auto& [id, controls] : file.dialogs)
        for (const auto& [control, text] : controls)
            f(QString::fromStdU16String(text));
}

QStringList Words(const QString& text) {
    // Words of two letters or more: "x" in "[1024x768]" is no word.
    static const QRegularExpression kWord(QStringLiteral("[A-Za-zÄÖÜäöüß]{2,}"));
    QStringList words;
    for (auto it = kWord.globalMatch(text); it.hasNext();)
        words << it.next().captured();
    return words;
}

// What the user reads: no mnemonic marks, no shortcut column.
QString Shown(QString text) {
    text = text.section(QLatin1Char('\t'), 0, 0);
    return text.remove(QLatin1Char('&')).trimmed();
}

class GermanText {
public:
    GermanText() {
        const lang::LngFile german = Load("German.lng");
        const lang::LngFile english = Load("English.lng");
        std::set<QString> german_texts;
        EachText(german, [&](const QString& t) {
            german_texts.insert(Shown(t));
            // A mnemonic mark inside a word ("Sc&heinwerfer") splits nothing.
            for (const QString& w : Words(QString(t).remove(QLatin1Char('&'))))
                vocabulary_.insert(w);
        });
        EachText(english, [&](const QString& t) {
            if (!german_texts.count(Shown(t)))
                english_only_.insert(Shown(t));
        });
        for (const char* name : kNames)
            vocabulary_.insert(QString::fromLatin1(name));
    }

    // Empty when text reads German; else what is wrong with it.
    QString Check(const QString& raw) const {
        const QString text = Shown(raw);
        if (english_only_.count(text))
            return QStringLiteral("English text \"%1\"").arg(text);
        for (const QString& word : Words(text)) {
            if (!vocabulary_.count(word))
                return QStringLiteral("\"%1\" in \"%2\"").arg(word, text);
        }
        return {};
    }

    size_t EnglishOnlyCount() const { return english_only_.size(); }

private:
    std::set<QString> vocabulary_;
    std::set<QString> english_only_;
};

// The dialogs' texts of the English file all have their German counterpart.
TEST(GermanFile, CoversEveryDialogText) {
    const lang::LngFile english = Load("English.lng");
    lang::LngFile german = Load("German.lng");
    ASSERT_GE(english.dialogs.size(), 5u);
    for (const auto& [dialog, controls] : english.dialogs)
        for (const auto& [control, text] : controls)
            EXPECT_TRUE(german.dialogs[dialog].count(control))
                << "dialog " << dialog << " control " << control;
}

class GermanTest : public testsupport::WindowTest {
protected:
    void StartIn(const char16_t* language) {
        folder_->ShipLanguages();
        if (language != nullptr)
            platform::WritePrivateProfileStringW(u"TovekCamera", u"Language", language,
                                                 folder_->Ini().c_str());
        StartWindow("Q5M4410");
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->isVisible(); }));
    }

    void ExpectGerman(const QString& text, const QString& where) {
        if (text.isEmpty())
            return;
        ++checked_;
        const QString fault = german_.Check(text);
        EXPECT_TRUE(fault.isEmpty()) << where.toStdString() << ": " << fault.toStdString();
    }

    void WalkMenu(const QList<QAction*>& actions, const QString& where) {
        for (QAction* action : actions) {
            const uint32_t id = action->data().toUInt();
            const bool language_item = id >= cmd::kLanguageFirst && id <= cmd::kLanguageLast;
            if (action->isSeparator() || language_item ||
                action->property(kLangFixedProperty).toBool())
                continue;
            ExpectGerman(action->text(), where + " / " + action->text());
            if (action->menu() != nullptr)
                WalkMenu(action->menu()->actions(), where + " / " + action->text());
        }
    }

    // Titles, labels, buttons, group boxes, list entries and tooltips of
    // window and everything in it; data (folders, device names) excepted.
    void WalkWindow(QWidget* window, const QString& where) {
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        if (window->isWindow())
            ExpectGerman(window->windowTitle(), where + " title");
        for (QWidget* w : widgets) {
            const QString name =
                where + " " + w->metaObject()->className() + " " + QString::number(GetDlgCtrlId(w));
            ExpectGerman(w->toolTip(), name + " tooltip");
            if (w->property(kLangFixedProperty).toBool())
                continue;
            if (auto* label = qobject_cast<QLabel*>(w))
                ExpectGerman(label->text(), name);
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                ExpectGerman(button->text(), name);
            else if (auto* group = qobject_cast<QGroupBox*>(w))
                ExpectGerman(group->title(), name);
            else if (auto* list = qobject_cast<QComboBox*>(w)) {
                // Entries of ours; the others name sound sources and encoders.
                for (int i = 0; i < list->count(); ++i)
                    if (list->itemData(i, kLangItemRole).isValid())
                        ExpectGerman(list->itemText(i), name + " entry");
            }
        }
    }

    // The main window: title, menus, the view's context menu, the panels,
    // and the status bar's panes (data by their flag, but words all the same).
    void WalkMainWindow() {
        ExpectGerman(main_window_->windowTitle(), "main window title");
        WalkMenu(main_window_->Menu().Bar()->actions(), "menu");
        WalkMenu(main_window_->View()->ContextMenu()->actions(), "context menu");
        WalkWindow(main_window_.get(), "main window");
        for (int pane : StatusPanes::kPaneIds)
            ExpectGerman(main_window_->Panes().Pane(pane)->text(),
                         "status pane " + QString::number(pane));
    }

    // The about box the about command opens; it lives on its own, so the
    // test closes it (it deletes itself) before the next test starts.
    AboutBox* OpenAbout() {
        main_window_->OnCommand(cmd::kAbout);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* about = dynamic_cast<AboutBox*>(top); about && !about_.count(about))
                return *about_.insert(about).first;
        return nullptr;
    }
    void TearDown() override {
        for (AboutBox* about : about_)
            delete about;
        about_.clear();
        WindowTest::TearDown();
    }

    GraphicDialogContext GraphicContext() {
        GraphicDialogContext context;
        context.store = &main_window_->Annotations();
        context.settings = &app_->Settings();
        context.lang = app_->LangContext();
        context.message = &MessageBox; // recorded by the fixture
        return context;
    }

    GermanText german_;
    int checked_ = 0;
    std::set<AboutBox*> about_;
};

TEST_F(GermanTest, EveryWindowReadsGerman) {
    ASSERT_GT(german_.EnglishOnlyCount(), 100u);
    StartIn(u"German.lng");
    WalkMainWindow();
    // The hidden parts show later as they are now.
    WalkWindow(main_window_->ToolBar(), "control tool bar");
    WalkWindow(main_window_->AnnotationPanel(), "annotation panel");
    WalkWindow(main_window_->GetCommandPanel(), "command panel");

    main_window_->OnCommand(cmd::kSetting);
    ASSERT_NE(main_window_->SettingDialog(), nullptr);
    WalkWindow(main_window_->SettingDialog(), "settings");

    AboutBox* about = OpenAbout();
    ASSERT_NE(about, nullptr);
    WalkWindow(about, "about");

    GraphicDefaultsDialog defaults(GraphicContext(), main_window_.get());
    WalkWindow(&defaults, "graphic default set");
    GraphicPropertyDialog property(GraphicContext(), main_window_.get());
    WalkWindow(&property, "graphic property");
    EXPECT_GT(checked_, 120);
}

// Alt and a letter reach one item: no two items of a German menu share their
// marked letter.
TEST_F(GermanTest, GermanMenuLettersAreUnique) {
    StartIn(u"German.lng");
    std::vector<std::pair<QString, QList<QAction*>>> menus = {
        {"menu bar", main_window_->Menu().Bar()->actions()}};
    for (QAction* top : main_window_->Menu().Bar()->actions())
        if (top->menu() != nullptr)
            menus.emplace_back(top->text(), top->menu()->actions());
    for (const auto& [name, actions] : menus) {
        std::map<QChar, QString> taken;
        for (QAction* action : actions) {
            const QString text = action->text().section(QLatin1Char('\t'), 0, 0);
            const qsizetype mark = text.indexOf(QLatin1Char('&'));
            if (mark < 0 || mark + 1 >= text.size())
                continue;
            const QChar letter = text[mark + 1].toLower();
            const auto [it, fresh] = taken.emplace(letter, text);
            EXPECT_TRUE(fresh) << name.toStdString() << ": " << text.toStdString() << " and "
                               << it->second.toStdString();
        }
    }
}

// The texts the program builds: its messages, the status bar's and the
// camera's status words.
TEST_F(GermanTest, MessagesAndStatusWordsReadGerman) {
    StartIn(u"German.lng");
    HLANGCTX lang = app_->LangContext();

    main_window_->OnCommand(cmd::kHelp); // no help file in this folder
    // Empty boxes, then one out of range, in each graphic dialog.
    for (int kind = 0; kind < 2; ++kind) {
        std::unique_ptr<GraphicDialog> dialog;
        if (kind == 0)
            dialog = std::make_unique<GraphicDefaultsDialog>(GraphicContext(), main_window_.get());
        else
            dialog = std::make_unique<GraphicPropertyDialog>(GraphicContext(), main_window_.get());
        auto* box = qobject_cast<QLineEdit*>(
            GetDlgItem(dialog.get(), kind == 0 ? GraphicDefaultsDialog::kCurveWidthId
                                               : GraphicPropertyDialog::kXId));
        ASSERT_NE(box, nullptr);
        auto* ok = qobject_cast<QAbstractButton*>(GetDlgItem(dialog.get(), GraphicDialog::kOkId));
        box->setText(QString());
        ok->click();
        box->setText(QStringLiteral("99999"));
        ok->click();
    }
    ASSERT_GE(messages_.Messages().size(), 5u);
    for (const auto& call : messages_.Messages())
        ExpectGerman(call.text, "message");

    MessagePaneState state;
    state.now = 10000;
    state.snapshot_taken = true;
    state.snapshot_tick = 9000;
    for (int32_t result : {snapshot::kSaved, snapshot::kNoSpace, 7}) {
        state.snapshot_result = result;
        ExpectGerman(StatusPanes::MessageText(state, lang), "snapshot pane");
    }
    state.snapshot_taken = false;
    state.recording_tick = 9000;
    for (int32_t result : {2, 3}) {
        state.recording_result = result;
        ExpectGerman(StatusPanes::MessageText(state, lang), "recording pane");
    }
    state.recording_result = 1;
    state.recording = true;
    state.recording_tick = 0;
    state.megabytes = 12;
    const QString running = StatusPanes::MessageText(state, lang);
    ExpectGerman(running, "recording pane");
    EXPECT_TRUE(running.contains(QStringLiteral("00:00:10"))) << running.toStdString();
    EXPECT_TRUE(running.contains(QStringLiteral("12"))) << running.toStdString();

    for (auto fault : {platform::AccessFault::kNoPermission, platform::AccessFault::kBusy}) {
        const platform::DeviceAccessError error = platform::DescribeDeviceAccessError(
            platform::kQ5VendorId, platform::kQ5ProductId, fault, "open");
        const QString text = AccessFaultText(error, lang);
        ExpectGerman(text, "refused camera");
        EXPECT_TRUE(text.contains(QStringLiteral("Q5-Kamera (USB 0525:A4A5)")))
            << text.toStdString();
    }

    StatusBanner banner;
    banner.SetLanguage(lang);
    for (int status = 0x80; status <= 0x9B; ++status)
        ExpectGerman(banner.StatusWords(status), "status " + QString::number(status, 16));
    for (int status : {0x22, 0x33, 0x44, 0x55, 0x66, 0x77})
        ExpectGerman(banner.StatusWords(status), "status " + QString::number(status, 16));
    const QString unknown = banner.StatusWords(0x2A);
    ExpectGerman(unknown, "unknown status");
    EXPECT_TRUE(unknown.contains(QStringLiteral("2A"))) << unknown.toStdString();
}

// Switched while they are open, the main window and its panels, the settings
// dialog and the about box all change; switched back, they read English again.
TEST_F(GermanTest, SwitchingLanguageChangesEveryOpenWindow) {
    StartIn(nullptr);
    main_window_->OnCommand(cmd::kSetting);
    AboutBox* about = OpenAbout();
    ASSERT_NE(about, nullptr);
    SkinButton* zoom_in = main_window_->ToolBar()->Button(ControlToolBar::kZoomInId);
    SkinButton* capture = main_window_->GetCommandPanel()->Button(CommandPanel::kCaptureId);
    EXPECT_EQ(zoom_in->toolTip(), "Zoom In");
    EXPECT_EQ(about->windowTitle(), "About Lumivue");

    ASSERT_TRUE(main_window_->OnCommand(cmd::kLanguageFirst + 1)); // Deutsch
    WalkMainWindow();
    WalkWindow(main_window_->ToolBar(), "control tool bar");
    WalkWindow(main_window_->AnnotationPanel(), "annotation panel");
    WalkWindow(main_window_->SettingDialog(), "settings");
    WalkWindow(about, "about");
    EXPECT_EQ(zoom_in->toolTip(), QString::fromUtf8("Vergrößern"));
    EXPECT_EQ(capture->ToolTipText(), "Foto");

    ASSERT_TRUE(main_window_->OnCommand(cmd::kLanguageFirst)); // English
    EXPECT_EQ(capture->ToolTipText(), "Capture");
    EXPECT_EQ(about->windowTitle(), "About Lumivue");
    EXPECT_EQ(main_window_->SettingDialog()->windowTitle(), "Capture and record setting");
    EXPECT_EQ(main_window_->Panes().Pane(129)->text(), "The device is detached.");
    EXPECT_TRUE(main_window_->Panes().Pane(130)->text().startsWith("Frame:"));
}

} // namespace
