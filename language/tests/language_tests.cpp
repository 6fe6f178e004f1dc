#include "language/language.h"
#include "platform/profile.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "language_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt tears its devices down badly from a static destructor.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

const LangStringEntry kStrings[] = {
    {117, u"LUMIVUE DEMO"},
    {104, u"The device is detached."},
};

QString Text(HLANGCTX ctx, uint32_t id) {
    char16_t buffer[1024];
    uint32_t size = 1024;
    LangGetText(ctx, buffer, &size, id);
    return QString::fromUtf16(buffer, size);
}

class LanguageTest : public ::testing::Test {
protected:
    // Before the fixture's widgets are built.
    static void SetUpTestSuite() { App(); }
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lang_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        folder_ = dir_.string();
        ini_ = platform::Utf8ToUtf16((dir_ / "TovekCamera.INI").string());
        module_ = {kStrings, std::size(kStrings), folder_.c_str()};
    }
    void TearDown() override {
        LangFree(ctx_);
        fs::remove_all(dir_);
    }
    void Ship(const char* name) {
        fs::copy_file(fs::path(TOVEK_LNG_SOURCE_DIR) / name, dir_ / name);
    }
    void Write(const char* name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    bool Init() {
        LangFree(ctx_);
        ctx_ = nullptr;
        const bool found = LangFindFiles(&module_, ini_.c_str(), u".lng");
        return LangInit(&ctx_, !found, &module_, ini_.c_str(), u".lng", 32790, 33790);
    }
    // A menu bar shaped like the program's: File (Play, Exit), Language.
    void BuildMenuBar() {
        QMenu* file = bar_.addMenu("&File");
        file->addAction("&Play\tCtrl+P")->setData(32774);
        file->addSeparator();
        file->addAction("E&xit")->setData(57665);
        QMenu* view = bar_.addMenu("&View");
        view->addAction("Full Screen\tCtrl+Shift+Enter")->setData(32777);
        view->addMenu("Zoom")->addAction("Fit Height")->setData(32779);
        language_ = bar_.addMenu("Language");
    }
    QString BarText(int position) { return bar_.actions().at(position)->text(); }

    fs::path dir_;
    std::string folder_;
    std::u16string ini_;
    LangModule module_{};
    HLANGCTX ctx_ = nullptr;
    QMenuBar bar_;
    QMenu* language_ = nullptr;
};

TEST_F(LanguageTest, SwitchesMenusAndTextsToGermanAndBack) {
    Ship("English.lng");
    Ship("German.lng");
    ASSERT_TRUE(Init());
    BuildMenuBar();
    uint32_t count = 0;
    ASSERT_TRUE(LangFillMenu(ctx_, language_, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(language_->actions().at(0)->text(), "English");
    EXPECT_EQ(language_->actions().at(1)->text(), "Deutsch");
    EXPECT_EQ(language_->actions().at(1)->data().toUInt(), 32791u);
    EXPECT_TRUE(language_->actions().at(0)->isChecked());

    ASSERT_TRUE(LangSelect(ctx_, &bar_, 32791));
    ASSERT_TRUE(LangTranslateMenu(ctx_, &bar_, 128));
    EXPECT_EQ(BarText(0), "&Datei");
    EXPECT_EQ(BarText(1), "&Ansicht");
    EXPECT_EQ(BarText(2), "Sprache");
    QMenu* file = bar_.actions().at(0)->menu();
    EXPECT_EQ(file->actions().at(0)->text(), "&Wiedergabe\tStrg+P");
    EXPECT_EQ(file->actions().at(2)->text(), "Be&enden");
    QMenu* zoom = bar_.actions().at(1)->menu()->actions().at(1)->menu();
    EXPECT_EQ(zoom->title(), QString::fromUtf8("Vergrößerung"));
    EXPECT_EQ(zoom->actions().at(0)->text(), "An Höhe anpassen");
    EXPECT_EQ(language_->actions().at(1)->text(), "Deutsch"); // language names stay
    EXPECT_FALSE(language_->actions().at(0)->isChecked());
    EXPECT_TRUE(language_->actions().at(1)->isChecked());
    EXPECT_EQ(Text(ctx_, 117), "LUMIVUE DEMOVERSION");

    ASSERT_TRUE(LangSelect(ctx_, &bar_, 32790));
    ASSERT_TRUE(LangTranslateMenu(ctx_, &bar_, 128));
    EXPECT_EQ(BarText(0), "&File");
    EXPECT_EQ(file->actions().at(0)->text(), "&Play\tCtrl+P");
    EXPECT_EQ(Text(ctx_, 117), "LUMIVUE DEMO");
    EXPECT_FALSE(LangSelect(ctx_, &bar_, 32792)); // no third language
}

// A menu the program added later carries its own key: the menus after it
// keep the positions every language file gives them.
TEST_F(LanguageTest, AnAddedMenuLeavesTheOtherMenusTheirPositions) {
    Ship("English.lng");
    Write("Test.lng", "[Language]\nName=Test\n[Menu128]\nP0=F\nP1=V\nP1.1=Z\nP2=L\nP6=E\n");
    ASSERT_TRUE(Init());
    BuildMenuBar();
    QMenu* edit = new QMenu("&Edit", &bar_);
    edit->addAction("&Undo")->setData(36825);
    bar_.insertMenu(bar_.actions().at(1), edit)->setProperty(kLangPositionProperty, 6);
    uint32_t count = 0;
    ASSERT_TRUE(LangFillMenu(ctx_, language_, &count));
    uint32_t test_id = 0;
    for (QAction* language : language_->actions())
        if (language->text() == "Test")
            test_id = language->data().toUInt();
    ASSERT_NE(test_id, 0u);
    ASSERT_TRUE(LangSelect(ctx_, &bar_, test_id));
    ASSERT_TRUE(LangTranslateMenu(ctx_, &bar_, 128));
    EXPECT_EQ(BarText(0), "F");
    EXPECT_EQ(BarText(1), "E");
    EXPECT_EQ(BarText(2), "V");
    EXPECT_EQ(bar_.actions().at(2)->menu()->actions().at(1)->text(), "Z");
    EXPECT_EQ(BarText(3), "L");
}

TEST_F(LanguageTest, RemembersTheChoiceAcrossRuns) {
    Ship("English.lng");
    Ship("German.lng");
    ASSERT_TRUE(Init());
    ASSERT_TRUE(LangSelect(ctx_, nullptr, 32791));
    ASSERT_TRUE(Init());
    EXPECT_EQ(LangCurrentCommandId(ctx_), 32791u);
    EXPECT_EQ(Text(ctx_, 104), "Das Gerät ist getrennt.");
}

TEST_F(LanguageTest, WithoutAnyFileTheCompiledInEnglishServes) {
    Write("English.lng", "[Language]\n"); // no name: not a language file
    EXPECT_FALSE(LangFindFiles(&module_, ini_.c_str(), u".lng"));
    ASSERT_TRUE(Init());
    BuildMenuBar();
    uint32_t count = 0;
    LangFillMenu(ctx_, language_, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(language_->actions().at(0)->text(), "English");
    LangTranslateMenu(ctx_, &bar_, 128);
    EXPECT_EQ(BarText(0), "&File");
    EXPECT_EQ(Text(ctx_, 117), "LUMIVUE DEMO");
    EXPECT_EQ(Text(ctx_, 9999), "");
}

TEST_F(LanguageTest, TextsMissingFromALanguageKeepTheirOriginal) {
    Write("Partial.lng", "[Language]\nName=Partial\n[Menu128]\nP0=Fichier\n");
    ASSERT_TRUE(Init());
    BuildMenuBar();
    ASSERT_TRUE(LangSelect(ctx_, &bar_, 32791));
    LangTranslateMenu(ctx_, &bar_, 128);
    EXPECT_EQ(BarText(0), "Fichier");
    EXPECT_EQ(BarText(1), "&View");
    EXPECT_EQ(bar_.actions().at(0)->menu()->actions().at(0)->text(), "&Play\tCtrl+P");
    EXPECT_EQ(Text(ctx_, 117), "LUMIVUE DEMO");
}

TEST_F(LanguageTest, TranslatesDialogControlsByControlId) {
    Write("Test.lng", "[Language]\nName=Test\n[Dialog132]\n0=Einstellungen\n1001=Pfad:\n"
                      "1002=Glatt\n");
    ASSERT_TRUE(Init());
    QDialog dialog;
    dialog.setWindowTitle("Setting");
    auto* label = new QLabel("Path:", &dialog);
    label->setProperty(kLangControlIdProperty, 1001);
    auto* check = new QCheckBox("Smooth", &dialog);
    check->setProperty(kLangControlIdProperty, 1002);
    auto* fixed = new QLabel("/home/user/", &dialog);
    fixed->setProperty(kLangControlIdProperty, 1003);
    fixed->setProperty(kLangFixedProperty, true);

    ASSERT_TRUE(LangSelect(ctx_, nullptr, 32791));
    ASSERT_TRUE(LangTranslateDialog(ctx_, &dialog, 132));
    EXPECT_EQ(dialog.windowTitle(), "Einstellungen");
    EXPECT_EQ(label->text(), "Pfad:");
    EXPECT_EQ(check->text(), "Glatt");
    EXPECT_EQ(fixed->text(), "/home/user/");

    ASSERT_TRUE(LangSelect(ctx_, nullptr, 32790));
    ASSERT_TRUE(LangTranslateDialog(ctx_, &dialog, 132));
    EXPECT_EQ(dialog.windowTitle(), "Setting");
    EXPECT_EQ(label->text(), "Path:");
}

TEST_F(LanguageTest, LookupsCutToTheBufferAndTolerateNulls) {
    Ship("German.lng");
    ASSERT_TRUE(Init());
    ASSERT_TRUE(LangSelect(ctx_, nullptr, 32791));
    char16_t buffer[5];
    uint32_t size = 5;
    EXPECT_TRUE(LangGetText(ctx_, buffer, &size, 117));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::u16string(buffer), u"LUMI");
    size = 5;
    EXPECT_TRUE(LangGetTextByKey(ctx_, buffer, &size, "2", u"Frame"));
    EXPECT_EQ(std::u16string(buffer), u"Bild");
    size = 5;
    EXPECT_TRUE(LangGetTextByKey(ctx_, buffer, &size, "77", u"Def"));
    EXPECT_EQ(std::u16string(buffer), u"Def");

    size = 5;
    EXPECT_FALSE(LangGetText(nullptr, buffer, &size, 117));
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(LangTranslateMenu(nullptr, &bar_, 128));
    EXPECT_FALSE(LangSelect(nullptr, &bar_, 32790));
    EXPECT_FALSE(LangFillMenu(ctx_, nullptr, nullptr));
    HLANGCTX bad = nullptr;
    EXPECT_FALSE(LangInit(&bad, true, &module_, ini_.c_str(), u".lng", 33790, 32790));
    EXPECT_EQ(bad, nullptr);
}

} // namespace
