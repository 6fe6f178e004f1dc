// The two graphic dialogs, headless: what the property dialog shows for a
// shape and writes back, the checks of OK in their order with their
// messages, and the defaults dialog saving into the store, the settings and
// section GraphicDefault.
#include "PlainLineEdit.h"
#include "SpinButton.h"
#include "annotation/TextRules.h"
#include "common/DlgItem.h"
#include "testsupport/gui_support.h"
#include "widgets/GraphicDefaultsDialog.h"
#include "widgets/GraphicPropertyDialog.h"
#include "widgets/ShapeProperty.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QTest>

#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using annotation::AnnotationState;
using annotation::Shape;
using annotation::ShapeKind;

Shape MakeShape(ShapeKind kind, int x1, int y1, int x2, int y2) {
    return Shape{.id = 7,
                 .kind = kind,
                 .x1 = x1,
                 .y1 = y1,
                 .x2 = x2,
                 .y2 = y2,
                 .pen_width = 3,
                 .pen_color = 0x123456,
                 .selected = true,
                 .segments = {},
                 .text = {}};
}

class GraphicDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        settings_.caption = u"Lumivue";
        store_.SetFrameSize(1280, 1024);
    }

    GraphicDialogContext Context() {
        GraphicDialogContext context;
        context.store = &store_;
        context.ini = &ini_;
        context.settings = &settings_;
        context.message = [this](QWidget*, const QString& text, const QString& caption,
                                 unsigned type) {
            messages_.push_back(text.toStdString());
            EXPECT_EQ(caption, "Lumivue");
            EXPECT_EQ(type, 0x30u); // OK button, exclamation icon
            return 1;
        };
        context.pick_color = [this](QWidget*, COLORREF initial) -> std::optional<COLORREF> {
            EXPECT_EQ(initial, 0u); // the picker starts at black
            if (picks_.empty())
                return std::nullopt;
            const auto picked = picks_.front();
            picks_.pop_front();
            return picked;
        };
        return context;
    }
    template <typename Dialog>
    std::unique_ptr<Dialog> Open() {
        auto dialog = std::make_unique<Dialog>(Context(), &window_);
        dialog->show();
        return dialog;
    }
    void Add(Shape shape) {
        store_.Edit([&](AnnotationState& s) { s.shapes.push_back(std::move(shape)); });
    }
    Shape First() const {
        return store_.Read([](const AnnotationState& s) { return s.shapes.front(); });
    }
    static PlainLineEdit* Box(const QDialog* dialog, int id) {
        return dynamic_cast<PlainLineEdit*>(GetDlgItem(dialog, id));
    }
    static std::string Text(const QDialog* dialog, int id) {
        return static_cast<QLineEdit*>(GetDlgItem(dialog, id))->text().toStdString();
    }
    // The lines of section GraphicDefault, in file order.
    std::vector<std::string> SectionLines() const {
        std::ifstream file(platform::Utf16ToUtf8(folder_.Ini()));
        std::vector<std::string> lines;
        bool inside = false;
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty() && line.front() == '[')
                inside = line == "[GraphicDefault]";
            else if (inside && !line.empty())
                lines.push_back(line);
        }
        return lines;
    }

    testsupport::ProgramFolder folder_;
    IniStore ini_{folder_.Ini().c_str()};
    settings::AppSettings settings_;
    annotation::AnnotationStore store_;
    QWidget window_;
    std::vector<std::string> messages_;
    std::deque<COLORREF> picks_;
};

// ---- property dialog ----------------------------------------------------------------

TEST_F(GraphicDialogTest, PropertyShowsAShapeAndOkWithoutChangesKeepsIt) {
    const struct {
        ShapeKind kind;
        int x1, y1, x2, y2;
        const char* type;
        const char* x;
        const char* y;
        const char* width;
        const char* height;
        int v_sign;
        int after[4];
    } rows[] = {
        {ShapeKind::kLine,
         300,
         200,
         100,
         50,
         "Line",
         "100",
         "50",
         "200",
         "150",
         1,
         {100, 50, 300, 200}},
        {ShapeKind::kLine,
         100,
         200,
         300,
         50,
         "Line",
         "100",
         "200",
         "200",
         "150",
         -1,
         {100, 200, 300, 50}},
        {ShapeKind::kRectangle,
         300,
         200,
         100,
         50,
         "Rectangle",
         "100",
         "50",
         "200",
         "150",
         1,
         {100, 50, 300, 200}},
        {ShapeKind::kCircle,
         100,
         200,
         300,
         50,
         "Circle",
         "100",
         "50",
         "200",
         "150",
         1,
         {100, 50, 300, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        store_.Edit([](AnnotationState& s) { s.shapes.clear(); });
        Add(MakeShape(row.kind, row.x1, row.y1, row.x2, row.y2));
        auto dialog = Open<GraphicPropertyDialog>();
        EXPECT_EQ(dialog->windowTitle(), "Graphic property");
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kTypeId), row.type);
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kXId), row.x);
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kYId), row.y);
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kWidthId), row.width);
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kHeightId), row.height);
        EXPECT_EQ(Text(dialog.get(), GraphicPropertyDialog::kLineWidthId), "3");
        EXPECT_EQ(dialog->Working().v_sign, row.v_sign);
        const bool fill = row.kind != ShapeKind::kLine;
        EXPECT_EQ(GetDlgItem(dialog.get(), GraphicPropertyDialog::kFillId)->isEnabled(), fill);
        EXPECT_EQ(GetDlgItem(dialog.get(), GraphicPropertyDialog::kFillColorId)->isEnabled(), fill);
        messages_.clear();
        dialog->OnOK();
        if (row.x1 == row.x2) {
            EXPECT_EQ(messages_,
                      std::vector<std::string>{"Can not set width more than 1280 or less than 1!"});
            dialog->OnOK();
        } else {
            EXPECT_TRUE(messages_.empty());
        }
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        const Shape s = First();
        EXPECT_EQ((std::vector<int>{s.x1, s.y1, s.x2, s.y2}),
                  std::vector<int>(std::begin(row.after), std::end(row.after)));
        EXPECT_EQ(s.pen_width, 3);
        EXPECT_EQ(s.pen_color, 0x123456u);
    }
}

TEST_F(GraphicDialogTest, PropertyMovesACurveByTheChangeOfX) {
    Shape curve = MakeShape(ShapeKind::kCurve, 100, 100, 160, 130);
    curve.segments = {{0, 100, 100, 130, 140}, {1, 130, 140, 160, 130}, {2, 160, 130, 160, 130}};
    Add(curve);
    auto dialog = Open<GraphicPropertyDialog>();
    for (int id : {1103, 1104, 1108, 1109, 1093, 1099})
        EXPECT_FALSE(GetDlgItem(dialog.get(), id)->isEnabled()) << id;
    Box(dialog.get(), GraphicPropertyDialog::kXId)->setText(QStringLiteral("110"));
    dialog->OnOK();
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    const Shape s = First();
    EXPECT_EQ((std::vector<int>{s.x1, s.y1, s.x2, s.y2}), (std::vector<int>{110, 100, 170, 130}));
    ASSERT_EQ(s.segments.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s.segments[i].x1, curve.segments[i].x1 + 10);
        EXPECT_EQ(s.segments[i].x2, curve.segments[i].x2 + 10);
        EXPECT_EQ(s.segments[i].y1, curve.segments[i].y1);
        EXPECT_EQ(s.segments[i].y2, curve.segments[i].y2);
    }
}

// A text's pen is its size, with a range of its own; a highlighter's width
// may pass a line's limit of 20.
TEST_F(GraphicDialogTest, PropertyGivesATextItsSizeAndAHighlighterItsWidth) {
    const struct {
        ShapeKind kind;
        const char* refused;
        const char* message;
        const char* taken;
    } rows[] = {
        {ShapeKind::kText, "301", "Can not set text size more than 300 or less than 8!", "64"},
        {ShapeKind::kHighlighter, "101",
         "Can not set highlighter width more than 100 or less than 1!", "40"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(graphic::KindName(row.kind));
        messages_.clear();
        store_.Edit([](AnnotationState& s) { s.shapes.clear(); });
        Shape shape = MakeShape(row.kind, 100, 100, 160, 130);
        shape.text = "abc";
        shape.segments = {{0, 100, 100, 160, 130}};
        Add(shape);
        auto dialog = Open<GraphicPropertyDialog>();
        PlainLineEdit* pen = Box(dialog.get(), GraphicPropertyDialog::kLineWidthId);
        pen->setText(QString::fromLatin1(row.refused));
        dialog->OnOK();
        EXPECT_EQ(messages_, std::vector<std::string>{row.message});
        pen->setText(QString::fromLatin1(row.taken));
        dialog->OnOK();
        ASSERT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(First().pen_width, std::stoi(row.taken));
    }
    // The text's box grew with its size.
    store_.Edit([](AnnotationState& s) { s.shapes.clear(); });
    Shape text = MakeShape(ShapeKind::kText, 100, 100, 160, 130);
    text.text = "abc";
    Add(text);
    auto dialog = Open<GraphicPropertyDialog>();
    Box(dialog.get(), GraphicPropertyDialog::kLineWidthId)->setText(QStringLiteral("64"));
    dialog->OnOK();
    EXPECT_EQ(First().y2 - First().y1, annotation::EstimateTextExtent("abc", 64).height);

    // Its arrows step through the offered sizes, then to the range's ends.
    auto again = Open<GraphicPropertyDialog>();
    PlainLineEdit* size = Box(again.get(), GraphicPropertyDialog::kLineWidthId);
    auto* spin =
        static_cast<SpinButton*>(GetDlgItem(again.get(), GraphicPropertyDialog::kLineWidthSpinId));
    const struct {
        const char* from;
        int direction;
        const char* to;
    } steps[] = {{"48", 1, "64"}, {"30", 1, "32"},  {"30", -1, "24"},
                 {"24", -1, "8"}, {"96", 1, "300"}, {"300", 1, "300"}};
    for (const auto& step : steps) {
        size->setText(QString::fromLatin1(step.from));
        spin->Step(step.direction);
        EXPECT_EQ(size->text(), step.to) << step.from << " " << step.direction;
    }
}

TEST_F(GraphicDialogTest, PropertyChecksInOrderAndKeepsTheShape) {
    const struct {
        int id;
        const char* text;
        const char* message;
        const char* after; // the box's text after OK
    } rows[] = {
        {1101, "1300", "Can not set X more than 1280 or less than 0!", "1"},
        {1100, "0", "Can not set graphic line width more than 20 or less than 1!", "1"},
        {1102, "1025", "Can not set Y more than 1024 or less than 0!", "1"},
        {1103, "0", "Can not set width more than 1280 or less than 1!", "1"},
        {1104, "99999999999", "Can not set height more than 1024 or less than 1!", "1"},
        {1102, "", "Please enter an integer!", ""},
        {1101, "1a", "Please enter an integer.", "1a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        messages_.clear();
        store_.Edit([](AnnotationState& s) { s.shapes.clear(); });
        Add(MakeShape(ShapeKind::kRectangle, 100, 50, 300, 200));
        auto dialog = Open<GraphicPropertyDialog>();
        PlainLineEdit* box = Box(dialog.get(), row.id);
        // An empty box earlier in the order is reported before this one.
        box->setText(QString::fromLatin1(row.text));
        dialog->OnOK();
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(messages_, std::vector<std::string>{row.message});
        EXPECT_EQ(box->text(), row.after);
        EXPECT_EQ(dialog->focusWidget(), box);
        EXPECT_EQ(First().x1, 100);
        EXPECT_EQ(First().x2, 300);
    }
}

TEST_F(GraphicDialogTest, PropertyCancelAndAVanishedShapeLeaveTheStoreAlone) {
    Add(MakeShape(ShapeKind::kRectangle, 300, 200, 100, 50));
    picks_ = {0x00FF00};
    auto dialog = Open<GraphicPropertyDialog>();
    dialog->OnSwatchClick(GraphicPropertyDialog::kLineColorId);
    EXPECT_EQ(dialog->Working().line_color, 0x00FF00u);
    dialog->reject();
    EXPECT_EQ(First().pen_color, 0x123456u);
    EXPECT_EQ(First().x1, 300);

    // The camera stopped while the dialog was open: OK writes into no other
    // shape.
    auto second = Open<GraphicPropertyDialog>();
    store_.Edit([](AnnotationState& s) {
        s.shapes.clear();
        Shape other = MakeShape(ShapeKind::kLine, 1, 2, 3, 4);
        other.id = 8;
        s.shapes.push_back(other);
    });
    second->OnOK();
    EXPECT_EQ(second->result(), QDialog::Accepted);
    EXPECT_EQ((std::vector<int>{First().x1, First().y1, First().x2, First().y2}),
              (std::vector<int>{1, 2, 3, 4}));
}

// ---- defaults dialog ----------------------------------------------------------------

TEST_F(GraphicDialogTest, DefaultsReportTheFirstBadWidthAndCancelKeepsThemAll) {
    auto dialog = Open<GraphicDefaultsDialog>();
    EXPECT_EQ(dialog->windowTitle(), "Graphic Default Set");
    Box(dialog.get(), GraphicDefaultsDialog::kLineWidthId)->setText(QStringLiteral("0"));
    Box(dialog.get(), GraphicDefaultsDialog::kRectangleWidthId)->setText(QStringLiteral("25"));
    const struct {
        const char* message;
        int focus;
    } presses[] = {
        {"Can not set line width more than 20 or less than 1!",
         GraphicDefaultsDialog::kLineWidthId},
        {"Can not set rectangle width more than 20 or less than 1!",
         GraphicDefaultsDialog::kRectangleWidthId},
    };
    for (const auto& press : presses) {
        messages_.clear();
        dialog->OnOK();
        EXPECT_EQ(messages_, std::vector<std::string>{press.message});
        EXPECT_EQ(Box(dialog.get(), press.focus)->text(), "1");
        EXPECT_EQ(dialog->focusWidget(), Box(dialog.get(), press.focus));
    }

    // An empty curve box is reported before any range.
    Box(dialog.get(), GraphicDefaultsDialog::kCircleWidthId)->setText(QStringLiteral("30"));
    Box(dialog.get(), GraphicDefaultsDialog::kCurveWidthId)->setText(QString());
    messages_.clear();
    dialog->OnOK();
    EXPECT_EQ(messages_, std::vector<std::string>{"Please enter an integer!"});
    EXPECT_EQ(dialog->focusWidget(), Box(dialog.get(), GraphicDefaultsDialog::kCurveWidthId));

    // A colour picked, then Cancel: nothing changes.
    picks_ = {0x0000FF};
    dialog->OnSwatchClick(GraphicDefaultsDialog::kLineColorId);
    EXPECT_EQ(dialog->Working().line_color, 0x0000FFu);
    dialog->reject();
    EXPECT_EQ(store_.Defaults().line_color, 0u);
    EXPECT_TRUE(SectionLines().empty());
}

TEST_F(GraphicDialogTest, DefaultsAreSavedInOrderAndUsedByTheNextRectangle) {
    Add(MakeShape(ShapeKind::kRectangle, 10, 10, 20, 20)); // drawn before
    auto dialog = Open<GraphicDefaultsDialog>();
    EXPECT_EQ(Box(dialog.get(), GraphicDefaultsDialog::kRectangleWidthId)->text(), "1");
    // Rectangle colour, then rectangle fill colour.
    picks_ = {0x0000FF, 0x00FF00};
    dialog->OnSwatchClick(GraphicDefaultsDialog::kRectangleColorId);
    QTest::mouseClick(GetDlgItem(dialog.get(), GraphicDefaultsDialog::kRectangleFillColorId),
                      Qt::LeftButton);
    Box(dialog.get(), GraphicDefaultsDialog::kRectangleWidthId)->setText(QStringLiteral("7"));
    static_cast<QCheckBox*>(GetDlgItem(dialog.get(), GraphicDefaultsDialog::kRectangleFillId))
        ->setChecked(true);
    dialog->OnOK();
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(settings_.graphic.rect_width, 7);

    EXPECT_EQ(SectionLines(),
              (std::vector<std::string>{
                  "LineWidth=1", "LineColor=0", "RectangleWidth=7", "RectangleColor=255",
                  "RectangleBFill=1", "RectFillColor=65280", "CircleWidth=1", "CircleColor=0",
                  "CircleBFill=0", "CircleFillColor=0", "CurveWidth=1", "CurveColor=0"}));

    store_.SetTool(annotation::DrawTool::kRectangle);
    store_.Run(annotation::Press, 100, 100);
    store_.Run(annotation::MouseMove, 100, 100);
    store_.Run(annotation::MouseMove, 200, 150);
    store_.Run(annotation::Release, 200, 150);
    const auto shapes = store_.Read([](const AnnotationState& s) { return s.shapes; });
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[1].pen_width, 7);
    EXPECT_EQ(shapes[1].pen_color, 0x0000FFu);
    EXPECT_TRUE(shapes[1].filled);
    EXPECT_EQ(shapes[1].fill_color, 0x00FF00u);
    EXPECT_EQ(shapes[0].pen_width, 3); // drawn before: unchanged
}

TEST_F(GraphicDialogTest, WidthBoxesTakeNoPasteKeyAndSpinWithinTheirRange) {
    auto dialog = Open<GraphicDefaultsDialog>();
    QApplication::setActiveWindow(dialog.get());
    PlainLineEdit* box = Box(dialog.get(), GraphicDefaultsDialog::kLineWidthId);
    QApplication::clipboard()->setText(QStringLiteral("5"));
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), "1");
    QTest::keyClick(box, Qt::Key_2);
    EXPECT_EQ(box->text(), "2"); // typing still works

    auto* spin =
        static_cast<SpinButton*>(GetDlgItem(dialog.get(), GraphicDefaultsDialog::kLineSpinId));
    box->setText(QStringLiteral("19"));
    spin->Step(1);
    QTest::keyClick(box, Qt::Key_Up); // the arrow keys step as well
    EXPECT_EQ(box->text(), "20");
    EXPECT_EQ(dialog->Working().line_width, 20);
    box->setText(QStringLiteral("1"));
    spin->Step(-1);
    EXPECT_EQ(box->text(), "1");
    EXPECT_EQ(dialog->Working().line_width, 1);
}

} // namespace
