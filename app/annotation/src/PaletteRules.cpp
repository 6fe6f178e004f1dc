#include "annotation/PaletteRules.h"

#include "annotation/TextRules.h"

namespace annotation {

int32_t PaletteWidthFor(ShapeKind kind, int index) {
    static constexpr int32_t kPens[kPaletteWidthCount] = {2, 5, 10};
    static constexpr int32_t kHighlighters[kPaletteWidthCount] = {12, 24, 48};
    static constexpr int32_t kTexts[kPaletteWidthCount] = {32, 48, 72};
    if (index < 0 || index >= kPaletteWidthCount)
        return 0;
    switch (kind) {
    case ShapeKind::kHighlighter:
        return kHighlighters[index];
    case ShapeKind::kText:
        return kTexts[index];
    default:
        return kPens[index];
    }
}

Changes ChoosePaletteColor(AnnotationState& s, COLORREF color) {
    Changes changes;
    for (Shape& shape : s.shapes) {
        if (shape.selected || shape.id == s.text_id) {
            shape.pen_color = color;
            changes.redraws = 1;
        }
    }
    settings::GraphicDefaults& d = s.defaults;
    if (s.tool == DrawTool::kHighlighter) {
        d.highlighter_color = color;
        return changes;
    }
    for (COLORREF* pen : {&d.line_color, &d.rect_color, &d.circle_color, &d.curve_color,
                          &d.arrow_color, &d.text_color})
        *pen = color;
    return changes;
}

Changes ChoosePaletteWidth(AnnotationState& s, int index) {
    Changes changes;
    if (index < 0 || index >= kPaletteWidthCount)
        return changes;
    for (Shape& shape : s.shapes) {
        if (!shape.selected && shape.id != s.text_id)
            continue;
        shape.pen_width = PaletteWidthFor(shape.kind, index);
        if (shape.kind == ShapeKind::kText)
            FitTextBox(s, &shape);
        changes.redraws = 1;
    }
    settings::GraphicDefaults& d = s.defaults;
    if (s.tool == DrawTool::kHighlighter) {
        d.highlighter_width = PaletteWidthFor(ShapeKind::kHighlighter, index);
        return changes;
    }
    const int32_t pen = PaletteWidthFor(ShapeKind::kLine, index);
    for (int32_t* width :
         {&d.line_width, &d.rect_width, &d.circle_width, &d.curve_width, &d.arrow_width})
        *width = pen;
    d.text_size = PaletteWidthFor(ShapeKind::kText, index);
    return changes;
}

} // namespace annotation
