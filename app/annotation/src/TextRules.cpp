#include "annotation/TextRules.h"

#include "annotation/ShapeRules.h"

#include <algorithm>

namespace annotation {

namespace {

bool ContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The key's characters without control characters (a line break comes as
// kNewLine, never inside typed text).
std::string Printable(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F)
            out.push_back(c);
    }
    return out;
}

} // namespace

TextExtent EstimateTextExtent(const std::string& utf8, int32_t size) {
    int64_t longest = 1, current = 0, lines = 1;
    for (char c : utf8) {
        if (c == '\n') {
            ++lines, current = 0;
        } else if (!ContinuationByte(c)) {
            longest = std::max(longest, ++current);
        }
    }
    // An average sans-serif letter is a little over half as wide as high;
    // lines stand a quarter of their height apart.
    const int64_t width = longest * size * 3 / 5;
    const int64_t height = lines * size * 5 / 4;
    return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX / 2)),
            static_cast<int32_t>(std::min<int64_t>(height, INT32_MAX / 2))};
}

void FitTextBox(const AnnotationState& s, Shape* text) {
    const int32_t size = std::clamp(text->pen_width, kMinTextSize, kMaxTextSize);
    const TextExtent extent =
        s.measure_text ? s.measure_text(text->text, size) : EstimateTextExtent(text->text, size);
    text->x2 = text->x1 + std::max(extent.width, 1);
    text->y2 = text->y1 + std::max(extent.height, 1);
}

Changes StartText(AnnotationState& s, int32_t px, int32_t py) {
    Changes changes = EndText(s);
    Shape text;
    text.id = s.input.next_shape_id++;
    text.kind = ShapeKind::kText;
    text.pen_color = s.defaults.text_color;
    text.pen_width = std::clamp(s.defaults.text_size, kMinTextSize, kMaxTextSize);
    text.x1 = px, text.y1 = py;
    FitTextBox(s, &text);
    s.text_id = text.id;
    s.shapes.push_back(std::move(text));
    changes.redraws = 1;
    return changes;
}

bool OpenTextAt(AnnotationState& s, int32_t px, int32_t py) {
    const Shape* hit = nullptr;
    for (const Shape& shape : s.shapes) {
        if (shape.kind == ShapeKind::kText && HitShape(shape, px, py) &&
            (hit == nullptr || shape.id > hit->id))
            hit = &shape;
    }
    if (hit == nullptr)
        return false;
    s.text_id = hit->id;
    return true;
}

Changes TypeText(AnnotationState& s, TextKey key, const std::string& utf8) {
    Changes changes;
    Shape* text = s.Find(s.text_id);
    if (text == nullptr)
        return changes;
    std::string& t = text->text;
    switch (key) {
    case TextKey::kCharacters: {
        const std::string typed = Printable(utf8);
        if (typed.empty() || t.size() + typed.size() > kMaxTextBytes)
            return changes;
        t += typed;
        break;
    }
    case TextKey::kNewLine:
        if (t.size() >= kMaxTextBytes)
            return changes;
        t.push_back('\n');
        break;
    case TextKey::kBackspace:
        if (t.empty())
            return changes;
        while (!t.empty() && ContinuationByte(t.back()))
            t.pop_back();
        if (!t.empty())
            t.pop_back();
        break;
    }
    FitTextBox(s, text);
    changes.redraws = 1;
    return changes;
}

Changes EndText(AnnotationState& s) {
    Changes changes;
    const int32_t id = s.text_id;
    if (id < 0)
        return changes;
    s.text_id = -1;
    std::erase_if(s.shapes, [id](const Shape& shape) {
        return shape.id == id && shape.text.find_first_not_of(" \n") == std::string::npos;
    });
    changes.redraws = 1;
    return changes;
}

} // namespace annotation
