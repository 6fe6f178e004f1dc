#include "view/ViewCursors.h"

#include <QPainter>
#include <QPainterPath>

namespace view {

namespace {

constexpr int kSize = 32;

// A black stroke with a white rim, readable on any picture.
void Stroke(QPainter& p, const QPainterPath& path) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
}

// A small cross whose centre is the hot spot of the drawing cursors.
QPainterPath CrossAt(int x, int y) {
    QPainterPath path;
    path.moveTo(x - 6, y);
    path.lineTo(x + 6, y);
    path.moveTo(x, y - 6);
    path.lineTo(x, y + 6);
    return path;
}

QPainterPath MoveArrows() {
    const int c = kSize / 2, r = 11, head = 4;
    QPainterPath path;
    path.moveTo(c - r, c);
    path.lineTo(c + r, c);
    path.moveTo(c, c - r);
    path.lineTo(c, c + r);
    for (const QPoint& tip : {QPoint(c - r, c), QPoint(c + r, c)}) {
        const int dir = tip.x() < c ? 1 : -1;
        path.moveTo(tip.x() + dir * head, c - head);
        path.lineTo(tip);
        path.lineTo(tip.x() + dir * head, c + head);
    }
    for (const QPoint& tip : {QPoint(c, c - r), QPoint(c, c + r)}) {
        const int dir = tip.y() < c ? 1 : -1;
        path.moveTo(c - head, tip.y() + dir * head);
        path.lineTo(tip);
        path.lineTo(c + head, tip.y() + dir * head);
    }
    return path;
}

constexpr QPoint kDrawHotSpot(7, 7);

// The eraser: a rubber block whose lower-left corner is the hot spot.
QPixmap EraserPixmap() {
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF block({{2, 24}, {16, 10}, {26, 20}, {12, 30}});
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(0xF2, 0x9C, 0xB4));
    p.drawPolygon(block);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{2, 24}, {9, 17}, {19, 27}, {12, 30}}));
    p.end();
    return QPixmap::fromImage(image);
}

} // namespace

QPixmap ProgramCursorPixmap(int id) {
    if (id != kMoveCursorId && id != kLineCursorId && id != kBoxCursorId)
        return QPixmap();
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    if (id == kMoveCursorId) {
        Stroke(p, MoveArrows());
    } else {
        QPainterPath path = CrossAt(kDrawHotSpot.x(), kDrawHotSpot.y());
        if (id == kLineCursorId) {
            path.moveTo(16, 28);
            path.lineTo(28, 16);
        } else {
            path.addRect(15, 17, 13, 10);
            path.addEllipse(18, 14, 8, 6);
        }
        Stroke(p, path);
    }
    p.end();
    return QPixmap::fromImage(image);
}

ViewCursors::ViewCursors()
    : move(ProgramCursorPixmap(kMoveCursorId), kSize / 2, kSize / 2),
      line(ProgramCursorPixmap(kLineCursorId), kDrawHotSpot.x(), kDrawHotSpot.y()),
      box(ProgramCursorPixmap(kBoxCursorId), kDrawHotSpot.x(), kDrawHotSpot.y()),
      eraser(EraserPixmap(), 3, 25) {}

QCursor ViewCursors::ForKind(int kind) const {
    // Kinds 4 to 8: hand, then the west-east, north-south, north-west/south-east
    // and north-east/south-west sizing arrows.
    static constexpr Qt::CursorShape kStandard[] = {Qt::PointingHandCursor, Qt::SizeHorCursor,
                                                    Qt::SizeVerCursor, Qt::SizeFDiagCursor,
                                                    Qt::SizeBDiagCursor};
    switch (kind) {
    case 1:
        return move;
    case 2:
        return line;
    case 3:
        return box;
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
        return QCursor(kStandard[kind - 4]);
    case 9:
        return QCursor(Qt::IBeamCursor);
    case 10:
        return eraser;
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

} // namespace view
