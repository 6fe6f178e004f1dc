// The pointers of the video view: the standard ones and the program's own
// three (140 move, 138 line and curve drawing, 139 rectangle and circle
// drawing), drawn here as small pixmaps. Only with a QGuiApplication, on the
// user-interface thread.
#pragma once

#include <QCursor>
#include <QPixmap>

namespace view {

inline constexpr int kMoveCursorId = 140;
inline constexpr int kLineCursorId = 138;
inline constexpr int kBoxCursorId = 139;
// Cursor kinds 0 (arrow) to 10.
inline constexpr int kCursorKindCount = 11;

// 32 x 32 picture of a program cursor (transparent around it); a null
// pixmap for any other id.
QPixmap ProgramCursorPixmap(int id);

// The cursors the view loads once.
struct ViewCursors {
    ViewCursors();
    // The pointer of a cursor kind (0 arrow ... 8 north-east/south-west
    // sizing, 9 text, 10 eraser); the arrow for a kind out of range.
    QCursor ForKind(int kind) const;

    QCursor move;
    QCursor line;
    QCursor box;
    QCursor eraser;
};

} // namespace view
