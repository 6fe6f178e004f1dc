// Whole pictures that are not buttons: the panel backgrounds, the command
// panel's logo and the program's icon, and the document camera emblem they
// share.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>

#include <string>

namespace skin {

// True when art names a scene below.
bool IsScene(const std::string& art);

// Draws scene art at size. backdrop (RGB32, size) is what lies behind a
// picture that does not fill its rectangle (the logo); backgrounds ignore it.
// The icon is drawn with a transparent surround (ARGB32).
QImage DrawScene(const std::string& art, const QSize& size, const QImage& backdrop);

// Emblem.cpp --------------------------------------------------------------------
// The document camera: a base, an arm, a camera head and its light over a
// sheet of paper, fitted into box. pixels is the box's size on screen; small
// sizes leave out fine details and thicken outlines.
void DrawDocumentCamera(QPainter& painter, const QRectF& box, double pixels);
// "LUMIVUE"-style capitals drawn as strokes (no font needed): letters A, E, I,
// L, M, U, V; others are skipped. unit is one sixth of the letter height.
void DrawStrokeWord(QPainter& painter, const char* word, const QPointF& top_left, double unit);
// Width of word drawn by DrawStrokeWord at unit 1.
double StrokeWordWidth(const char* word);
QImage DrawLogo(const QImage& backdrop);
QImage DrawIcon(const QSize& size);

} // namespace skin
