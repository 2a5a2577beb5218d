#include "ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ProgramIcon {

namespace {

QColor stateColour(CollectionState state) {
    switch (state) {
    case CollectionState::Collecting:
        return QColor(30, 150, 60);
    case CollectionState::Ready:
        return QColor(40, 100, 180);
    case CollectionState::Offline:
    case CollectionState::CollectingOffline:
        break;
    }
    return QColor(130, 130, 130);
}

QPixmap draw(int size, const QColor& colour) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    // A drop of dialysate over a rising trend line.
    QPainterPath drop;
    drop.moveTo(16, 4);
    drop.cubicTo(22, 12, 24, 15, 24, 18);
    drop.arcTo(QRectF(8, 10, 16, 16), 0, -180);
    drop.cubicTo(8, 15, 10, 12, 16, 4);
    painter.setBrush(Qt::white);
    painter.drawPath(drop);
    painter.setPen(QPen(colour.darker(130), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(
        QPolygonF({QPointF(10, 21), QPointF(14, 17), QPointF(17, 19), QPointF(22, 13)}));
    return picture;
}

} // namespace

QIcon ForState(CollectionState state) {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addPixmap(draw(size, stateColour(state)));
    return icon;
}

} // namespace ProgramIcon
