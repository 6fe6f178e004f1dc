#include "widgets/GraphicDefaultsDialog.h"

#include "common/DlgItem.h"
#include "platform/system.h"

#include <QCheckBox>
#include <QGroupBox>

#include <cstdio>

namespace {

// "%ld" of a 32-bit value, as the settings file keeps numbers and colours.
std::u16string NumberText(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    return platform::Utf8ToUtf16(text);
}

} // namespace

GraphicDefaultsDialog::GraphicDefaultsDialog(GraphicDialogContext context, QWidget* parent)
    : GraphicDialog(std::move(context), parent, kTemplateId, QStringLiteral("Graphic Default Set"),
                    250, 190) {
    if (Context().store != nullptr)
        working_ = Context().store->Defaults();
    CreateControls();
    FinishInit();
    rect_fill_->setChecked(working_.rect_fill);
    circle_fill_->setChecked(working_.circle_fill);
}

GraphicDefaultsDialog::~GraphicDefaultsDialog() = default;

void GraphicDefaultsDialog::CreateControls() {
    // Group boxes first, so that the controls drawn over them stay on top.
    const struct {
        int id;
        const char* title;
        int x, y, height;
    } groups[] = {{kLineGroupId, "Line", 7, 7, 52},
                  {kRectangleGroupId, "Rectangle", 128, 7, 70},
                  {kCurveGroupId, "Curve", 7, 65, 52},
                  {kCircleGroupId, "Circle", 128, 83, 70}};
    for (const auto& g : groups)
        Place(new QGroupBox(QString::fromLatin1(g.title), this), g.id, g.x, g.y, 115, g.height);

    // One row of labels and controls per value; x and y of each group's
    // first row, the rows 18 dialog units apart.
    const struct {
        int width_label, color_label, width_box, spin, swatch;
        int x, y;
        int32_t* width;
        COLORREF* color;
        const char* message;
    } kinds[] = {
        {1066, 1067, kLineWidthId, kLineSpinId, kLineColorId, 7, 7, &working_.line_width,
         &working_.line_color, "Can not set line width more than 20 or less than 1!"},
        {1071, 1072, kRectangleWidthId, kRectangleSpinId, kRectangleColorId, 128, 7,
         &working_.rect_width, &working_.rect_color,
         "Can not set rectangle width more than 20 or less than 1!"},
        {1076, 1077, kCircleWidthId, kCircleSpinId, kCircleColorId, 128, 83, &working_.circle_width,
         &working_.circle_color, "Can not set circle width more than 20 or less than 1!"},
        {1081, 1082, kCurveWidthId, kCurveSpinId, kCurveColorId, 7, 65, &working_.curve_width,
         &working_.curve_color, "Can not set curve width more than 20 or less than 1!"},
    };
    for (const auto& k : kinds) {
        AddLabel(k.width_label, "Width:", k.x + 8, k.y + 16, 34);
        AddNumberBox(k.width_box, k.spin, k.x + 43, k.y + 14, k.width, settings::kMinWidth,
                     settings::kMaxWidth, k.message);
        AddLabel(k.color_label, "Color:", k.x + 8, k.y + 34, 34);
        AddSwatch(k.swatch, k.x + 43, k.y + 32, 46, k.color);
    }

    const struct {
        int check, swatch, y;
        COLORREF* color;
        QCheckBox** member;
    } fills[] = {
        {kRectangleFillId, kRectangleFillColorId, 7, &working_.rect_fill_color, &rect_fill_},
        {kCircleFillId, kCircleFillColorId, 83, &working_.circle_fill_color, &circle_fill_},
    };
    for (const auto& f : fills) {
        auto* check = new QCheckBox(QStringLiteral("Fill Color:"), this);
        Place(check, f.check, 136, f.y + 52, 50, 10);
        *f.member = check;
        AddSwatch(f.swatch, 189, f.y + 50, 46, f.color);
    }
    AddButtons(150, 193, 160, "Cancel");
}

void GraphicDefaultsDialog::Apply() {
    working_.rect_fill = rect_fill_->isChecked();
    working_.circle_fill = circle_fill_->isChecked();
    if (Context().store != nullptr)
        Context().store->SetDefaults(working_);
    if (Context().settings != nullptr)
        Context().settings->graphic = working_;
    Save(working_);
}

void GraphicDefaultsDialog::Save(const settings::GraphicDefaults& d) {
    IniStore* ini = Context().ini;
    if (ini == nullptr)
        return;
    using namespace settings;
    const auto number = [ini](const char16_t* key, int32_t value) {
        ini->WriteString(kSectionGraphic, key, NumberText(value).c_str());
    };
    const auto color = [&number](const char16_t* key, COLORREF value) {
        number(key, static_cast<int32_t>(value));
    };
    number(kLineWidth, d.line_width);
    color(kLineColor, d.line_color);
    number(kRectangleWidth, d.rect_width);
    color(kRectangleColor, d.rect_color);
    ini->WriteBool(kSectionGraphic, kRectangleBFill, d.rect_fill);
    color(kRectFillColor, d.rect_fill_color);
    number(kCircleWidth, d.circle_width);
    color(kCircleColor, d.circle_color);
    ini->WriteBool(kSectionGraphic, kCircleBFill, d.circle_fill);
    color(kCircleFillColor, d.circle_fill_color);
    number(kCurveWidth, d.curve_width);
    color(kCurveColor, d.curve_color);
}
