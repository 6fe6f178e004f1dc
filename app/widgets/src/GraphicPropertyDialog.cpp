#include "widgets/GraphicPropertyDialog.h"

#include "annotation/TextRules.h"
#include "common/LangText.h"

#include "PlainLineEdit.h"
#include "SpinButton.h"
#include "common/DlgItem.h"

#include <QCheckBox>
#include <QLineEdit>

using annotation::AnnotationState;
using annotation::Shape;
using annotation::ShapeKind;

namespace {

const Shape* FirstSelected(const AnnotationState& s) {
    for (const Shape& shape : s.shapes) {
        if (shape.selected)
            return &shape;
    }
    return nullptr;
}

} // namespace

GraphicPropertyDialog::GraphicPropertyDialog(GraphicDialogContext context, QWidget* parent)
    : GraphicDialog(std::move(context), parent, kTemplateId, QStringLiteral("Graphic property"),
                    180, 200) {
    if (Context().store != nullptr) {
        Context().store->Read([this](const AnnotationState& s) {
            if (const Shape* shape = FirstSelected(s))
                working_ = graphic::PropertyOf(*shape);
        });
    }
    CreateControls();
    EnableForKind();
    FinishInit();
    type_->setText(LangText(Context().lang, graphic::KindName(working_.kind)));
    fill_->setChecked(working_.filled);
}

GraphicPropertyDialog::~GraphicPropertyDialog() = default;

void GraphicPropertyDialog::CreateControls() {
    AddLabel(0, "Type:", 10, 12, 48);
    type_ = new QLineEdit(this);
    Place(type_, kTypeId, 60, 10, 60, 12);
    type_->setReadOnly(true);
    SetFixedText(type_);

    AddLabel(0, "Color:", 10, 30, 48);
    AddSwatch(kLineColorId, 60, 28, 46, &working_.line_color);
    fill_ = new QCheckBox(QStringLiteral("Fill Color:"), this);
    Place(fill_, kFillId, 10, 47, 50, 10);
    AddSwatch(kFillColorId, 60, 46, 46, &working_.fill_color);

    struct Box {
        const char* label;
        int box, spin;
        int32_t* value;
        int32_t min, max;
        const char* message;
    };
    // A text's pen is its size; a highlighter is wider than any line.
    Box pen = {"Line Width:",
               kLineWidthId,
               kLineWidthSpinId,
               &working_.line_width,
               settings::kMinWidth,
               settings::kMaxWidth,
               "Can not set graphic line width more than 20 or less than 1!"};
    if (working_.kind == ShapeKind::kText)
        pen = {"Size:",
               kLineWidthId,
               kLineWidthSpinId,
               &working_.line_width,
               annotation::kMinTextSize,
               annotation::kMaxTextSize,
               "Can not set text size more than 300 or less than 8!"};
    else if (working_.kind == ShapeKind::kHighlighter)
        pen.max = kMaxHighlighterWidth,
        pen.message = "Can not set highlighter width more than 100 or less than 1!";
    const Box boxes[] = {
        pen,
        {"X:", kXId, kXSpinId, &working_.x, 0, kMaxX,
         "Can not set X more than 1280 or less than 0!"},
        {"Y:", kYId, kYSpinId, &working_.y, 0, kMaxY,
         "Can not set Y more than 1024 or less than 0!"},
        {"Width:", kWidthId, kWidthSpinId, &working_.width, 1, kMaxX,
         "Can not set width more than 1280 or less than 1!"},
        {"Height:", kHeightId, kHeightSpinId, &working_.height, 1, kMaxY,
         "Can not set height more than 1024 or less than 1!"},
    };
    int y = 64;
    for (const auto& b : boxes) {
        AddLabel(0, b.label, 10, y + 2, 48);
        AddNumberBox(b.box, b.spin, 60, y, b.value, b.min, b.max, b.message);
        y += 18;
    }
    AddButtons(60, 105, 162, "CANCEL");
    // A text's arrows step through the sizes the tools offer.
    if (working_.kind == ShapeKind::kText)
        static_cast<SpinButton*>(GetDlgItem(this, kLineWidthSpinId))
            ->SetStops({std::begin(annotation::kTextSizes), std::end(annotation::kTextSizes)});
}

void GraphicPropertyDialog::EnableForKind() {
    const ShapeKind kind = working_.kind;
    // A freehand stroke keeps its drawing and a text its letters: only
    // where they stand can change.
    const bool fixed_size = annotation::Freehand(kind) || kind == ShapeKind::kText;
    const bool no_fill = kind != ShapeKind::kRectangle && kind != ShapeKind::kCircle;
    for (int id : {kFillId, kFillColorId})
        GetDlgItem(this, id)->setEnabled(!no_fill);
    for (int id : {kWidthId, kHeightId, kWidthSpinId, kHeightSpinId})
        GetDlgItem(this, id)->setEnabled(!fixed_size);
}

void GraphicPropertyDialog::Apply() {
    working_.filled = fill_->isChecked();
    if (Context().store == nullptr)
        return;
    // One undo step for each time the dialog applies its values.
    Context().store->BeginStep();
    Context().store->Edit([this](AnnotationState& s) {
        for (Shape& shape : s.shapes) {
            if (!shape.selected)
                continue;
            if (shape.id == working_.shape_id) {
                graphic::ApplyProperty(working_, shape);
                if (shape.kind == ShapeKind::kText)
                    annotation::FitTextBox(s, &shape);
            }
            return;
        }
    });
    Context().store->EndStep();
}
