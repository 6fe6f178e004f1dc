// What the panels and dialogs share about their skins: the path of a skin
// file, a button's four faces by file name, and the skinned background drawn
// as a band of its bitmap at the client's size.
//
// Threads: the user-interface thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include <string>

class SkinButton;
class QPainter;

// The skin file relative ("LeftDlg/Logo.bmp") in the skin folder.
std::string SkinFile(const char* relative);

// The bitmap of skin file relative, as 32-bit pixels; a null image when the
// file is missing or unreadable (not reported: the panel paints without it).
QImage LoadSkinImage(const char* relative);

// The four state bitmaps of a button, each named by a file of group without
// its ".bmp" ("Capture_Normal" in "LeftDlg"); gray may be nullptr.
void SetSkinFaces(SkinButton* button, const char* group, const char* normal, const char* mouse_over,
                  const char* click_down, const char* gray);

// Fills client with fill, then copies the band of background that starts at
// its left edge and is centred vertically, at the client's size and
// unscaled: source top = (background height - client height) / 2. Where the
// band lies outside a small bitmap the fill stays.
void PaintCentredBand(QPainter& painter, const QImage& background, const QSize& client,
                      const QColor& fill);
