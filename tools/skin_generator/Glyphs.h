// The pictures on the skin buttons. Every glyph draws in a 24 x 24 design
// square: the caller transforms the painter so that the square fills the
// button's picture area, and pen widths scale with it.
#pragma once

#include <QColor>
#include <QPainter>

#include <string>

namespace skin {

// The colours a glyph draws with; the state of the button chooses them.
struct Ink {
    QColor line;   // outlines and strokes
    QColor face;   // light fill inside shapes
    QColor accent; // the part that stands out (knobs, marks)
    bool second;   // the toggle's second face (recording, shown, on)
};

using GlyphFn = void (*)(QPainter& painter, const Ink& ink);

struct Glyph {
    const char* art;
    GlyphFn draw;
    // Plate colour of the second face; invalid for the common blue.
    QColor second_plate;
};

// The glyph drawn for art, or nullptr.
const Glyph* FindGlyph(const std::string& art);

// Fixed colours of the style, shared by glyphs, plates and scenes.
namespace colour {
inline const QColor kSlate(0x2C, 0x3E, 0x50);
inline const QColor kSteel(0x5D, 0x6D, 0x7E);
inline const QColor kBlue(0x2E, 0x86, 0xDE);
inline const QColor kBlueDark(0x1B, 0x4F, 0x8A);
inline const QColor kBlueLight(0xD6, 0xEA, 0xF8);
inline const QColor kRed(0xE7, 0x4C, 0x3C);
inline const QColor kRedDark(0xA9, 0x32, 0x26);
inline const QColor kSun(0xF5, 0xB7, 0x00);
inline const QColor kSunRay(0xE6, 0x7E, 0x22);
inline const QColor kGreen(0x27, 0xAE, 0x60);
inline const QColor kAmber(0xF7, 0xC9, 0x48);
inline const QColor kAmberDark(0xC9, 0x8E, 0x0B);
inline const QColor kPink(0xEC, 0x70, 0x63);
inline const QColor kWhite(0xFF, 0xFF, 0xFF);
} // namespace colour

// ---- helpers for glyph files ----------------------------------------------------
QPen Stroke(const QColor& colour, double width);
// A small round "+" or "-" mark at the lower right, for the More/Less pairs.
void Badge(QPainter& painter, const Ink& ink, bool plus);
// A water drop with its tip at the top, filled with colour.
void Drop(QPainter& painter, const Ink& ink, const QColor& colour);
// Focus frame corners around the design square.
void FocusCorners(QPainter& painter, const Ink& ink);

// ---- glyphs, one per art name -------------------------------------------------------
// GlyphsPanel.cpp: command panel, settings dialog and pictures.
void DrawCamera(QPainter& painter, const Ink& ink);
void DrawRecord(QPainter& painter, const Ink& ink);
void DrawSliders(QPainter& painter, const Ink& ink);
void DrawPen(QPainter& painter, const Ink& ink);
void DrawGear(QPainter& painter, const Ink& ink);
void DrawBrowse(QPainter& painter, const Ink& ink);
void DrawSave(QPainter& painter, const Ink& ink);
void DrawCancel(QPainter& painter, const Ink& ink);
void DrawVideo(QPainter& painter, const Ink& ink);
// GlyphsControl.cpp: camera control tool bar.
void DrawZoomIn(QPainter& painter, const Ink& ink);
void DrawZoomOut(QPainter& painter, const Ink& ink);
void DrawFocusFar(QPainter& painter, const Ink& ink);
void DrawFocusNear(QPainter& painter, const Ink& ink);
void DrawBrightMore(QPainter& painter, const Ink& ink);
void DrawBrightLess(QPainter& painter, const Ink& ink);
void DrawSharpMore(QPainter& painter, const Ink& ink);
void DrawSharpLess(QPainter& painter, const Ink& ink);
void DrawRedMore(QPainter& painter, const Ink& ink);
void DrawRedLess(QPainter& painter, const Ink& ink);
void DrawBlueMore(QPainter& painter, const Ink& ink);
void DrawBlueLess(QPainter& painter, const Ink& ink);
void DrawAuto(QPainter& painter, const Ink& ink);
void DrawMirror(QPainter& painter, const Ink& ink);
void DrawMonoColor(QPainter& painter, const Ink& ink);
void DrawNegative(QPainter& painter, const Ink& ink);
// GlyphsGraphic.cpp: annotation tool panel.
void DrawSelect(QPainter& painter, const Ink& ink);
void DrawLine(QPainter& painter, const Ink& ink);
void DrawRectangle(QPainter& painter, const Ink& ink);
void DrawEllipse(QPainter& painter, const Ink& ink);
void DrawCurve(QPainter& painter, const Ink& ink);
void DrawDefaults(QPainter& painter, const Ink& ink);
void DrawProperty(QPainter& painter, const Ink& ink);
void DrawDelete(QPainter& painter, const Ink& ink);
void DrawClear(QPainter& painter, const Ink& ink);
void DrawText(QPainter& painter, const Ink& ink);
void DrawArrow(QPainter& painter, const Ink& ink);
void DrawHighlighter(QPainter& painter, const Ink& ink);
void DrawEraser(QPainter& painter, const Ink& ink);

} // namespace skin
