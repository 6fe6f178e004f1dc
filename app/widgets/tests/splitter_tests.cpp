// The splitter and the right panel, headless.
#include "platform/system.h"
#include "settings/IniStore.h"
#include "testsupport/gui_support.h"
#include "testsupport/temp_folder.h"
#include "widgets/RightPanel.h"
#include "widgets/SkinSplitter.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class SplitterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        ini_ =
            std::make_unique<IniStore>(platform::Utf8ToUtf16(folder_.File("splitter.INI")).c_str());
    }

    const testsupport::TempFolder folder_{"splitter"};
    std::unique_ptr<IniStore> ini_;
};

TEST_F(SplitterTest, SecondPaneIsAlwaysItsMinimumAndHidesAndShows) {
    QWidget parent;
    parent.resize(1000, 500);
    auto* view = new QWidget;
    auto* right = new RightPanel(&parent);
    auto* splitter = new SkinSplitter(ini_.get());
    ASSERT_TRUE(splitter->CreateSplitter(SkinSplitter::kSideBySide, &parent, view, right, 125,
                                         QRect(0, 0, 800, 400), 1000, 98));
    // Laid out at the stored position (5 when none) until the first resize.
    EXPECT_EQ(view->geometry().right() + 1, SkinSplitter::kDefaultSplitPos);
    parent.show();
    EXPECT_EQ(view->parentWidget(), splitter);
    EXPECT_EQ(view->geometry(), QRect(0, 0, 702, 400));
    EXPECT_EQ(right->geometry(), QRect(702, 0, 98, 400));

    splitter->HideRightPane();
    EXPECT_EQ(view->geometry(), QRect(0, 0, 800, 400));
    EXPECT_TRUE(right->isHidden());
    splitter->resize(900, 300); // still the whole splitter
    EXPECT_EQ(view->geometry(), QRect(0, 0, 900, 300));

    splitter->ShowRightPane();
    EXPECT_FALSE(right->isHidden());
    EXPECT_EQ(right->geometry(), QRect(802, 0, 98, 300));
    EXPECT_EQ(view->geometry().width(), 802);

    // The right panel stretches what it hosts over itself.
    auto* hosted = new QWidget;
    int enabled = -1;
    right->SetHostedPanel(hosted, [&](int on) { enabled = on; });
    EXPECT_EQ(hosted->geometry(), QRect(0, 0, 98, 300));
    right->EnablePanel(1);
    EXPECT_EQ(enabled, 1);

    delete splitter; // writes the first pane's right edge
    EXPECT_EQ(ini_->GetUInt(u"splt\\init125", u"VertSplitPos", 0, 10), 802u);
}

} // namespace
