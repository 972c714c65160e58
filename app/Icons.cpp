#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "CommandIds.h"

namespace {

constexpr int kSize = 24;

// Draws on a transparent square and hands the picture to `paint`.
template <typename Paint>
QIcon Painted(Paint paint)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    paint(p);
    p.end();
    return QIcon(pixmap);
}

void Page(QPainter& p, qreal x, qreal y)
{
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + 9, y);
    path.lineTo(x + 13, y + 4);
    path.lineTo(x + 13, y + 17);
    path.lineTo(x, y + 17);
    path.closeSubpath();
    p.fillPath(path, Qt::white);
    p.drawPath(path);
}

void Magnifier(QPainter& p, bool plus)
{
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(QPointF(14, 14), QPointF(21, 21));
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(QPointF(6, 9), QPointF(12, 9));
    if (plus)
        p.drawLine(QPointF(9, 6), QPointF(9, 12));
}

void Letter(QPainter& p, const QString& text, const QColor& color)
{
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

// A shape and its reflection across a dashed mirror line, in the colour of
// the axis that is turned around (x red, y green, z blue as in most 3D
// tools): solid where it was, pale where it lands. Each axis has its own line,
// upright, level or slanting into depth, so the buttons differ by shape too.
void Mirror(QPainter& p, const QLineF& line, const QTransform& reflect, const QPolygonF& shape, const QColor& color)
{
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawPolygon(shape);
    p.setBrush(color.lighter(175));
    p.drawPolygon(reflect.map(shape));
    p.setPen(QPen(QColor(60, 60, 60), 1.5, Qt::DashLine));
    p.drawLine(line);
}

void Cube(QPainter& p, qreal s)
{
    const qreal o = s * 0.35;
    QRectF front(2, 2 + o, s - o, s - o);
    QRectF back(2 + o, 2, s - o, s - o);
    p.setPen(QPen(QColor(0, 0, 128), 1.2));
    p.drawRect(back);
    p.setPen(QPen(QColor(160, 0, 0), 1.2));
    p.drawRect(front);
    p.setPen(QPen(QColor(0, 110, 0), 1.2));
    p.drawLine(front.topLeft(), back.topLeft());
    p.drawLine(front.topRight(), back.topRight());
    p.drawLine(front.bottomLeft(), back.bottomLeft());
    p.drawLine(front.bottomRight(), back.bottomRight());
}

}  // namespace

QIcon AppIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    Cube(p, 28);
    p.end();
    return QIcon(pixmap);
}

QIcon ToolIcon(int command)
{
    switch (command) {
    case ID_FILE_NEW:
        return Painted([](QPainter& p) { Page(p, 5, 3); });
    case ID_FILE_OPEN:
        return Painted([](QPainter& p) {
            p.setBrush(QColor(240, 200, 80));
            p.drawRect(QRectF(2, 7, 19, 13));
            p.drawRect(QRectF(2, 4, 8, 3));
        });
    case ID_FILE_SAVE:
        return Painted([](QPainter& p) {
            p.setBrush(QColor(60, 60, 140));
            p.drawRect(QRectF(3, 3, 18, 18));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7, 3, 10, 7));
            p.drawRect(QRectF(6, 14, 12, 7));
        });
    case ID_EDIT_CUT:
        return Painted([](QPainter& p) {
            p.drawEllipse(QRectF(3, 15, 6, 6));
            p.drawEllipse(QRectF(15, 15, 6, 6));
            p.drawLine(QPointF(8, 16), QPointF(17, 3));
            p.drawLine(QPointF(16, 16), QPointF(7, 3));
        });
    case ID_EDIT_COPY:
        return Painted([](QPainter& p) {
            Page(p, 2, 2);
            Page(p, 9, 5);
        });
    case ID_EDIT_PASTE:
        return Painted([](QPainter& p) {
            p.setBrush(QColor(200, 150, 90));
            p.drawRect(QRectF(3, 4, 14, 18));
            p.setBrush(Qt::gray);
            p.drawRect(QRectF(7, 2, 6, 4));
            Page(p, 10, 6);
        });
    case ID_ZOOM_IN:
        return Painted([](QPainter& p) { Magnifier(p, true); });
    case ID_ZOOM_OUT:
        return Painted([](QPainter& p) { Magnifier(p, false); });
    case ID_OBJECT_ROTATE:
        return Painted([](QPainter& p) {
            p.setPen(QPen(QColor(0, 100, 0), 2));
            p.drawArc(QRectF(4, 4, 16, 16), 90 * 16, 270 * 16);
            p.drawLine(QPointF(12, 4), QPointF(16, 1));
            p.drawLine(QPointF(12, 4), QPointF(16, 7));
        });
    case ID_MIRROR_X:  // left and right swap across an upright line
        return Painted([](QPainter& p) {
            Mirror(p, QLineF(12, 1, 12, 23), QTransform(-1, 0, 0, 1, 24, 0),
                   QPolygonF({QPointF(10, 4), QPointF(10, 20), QPointF(2, 20)}), QColor(210, 30, 30));
        });
    case ID_MIRROR_Y:  // up and down swap across a level line
        return Painted([](QPainter& p) {
            Mirror(p, QLineF(1, 12, 23, 12), QTransform(1, 0, 0, -1, 0, 24),
                   QPolygonF({QPointF(4, 10), QPointF(20, 10), QPointF(20, 2)}), QColor(20, 150, 20));
        });
    case ID_MIRROR_Z:  // far and near swap across a line slanting into the picture
        return Painted([](QPainter& p) {
            Mirror(p, QLineF(1, 1, 23, 23), QTransform(0, 1, 1, 0, 0, 0),
                   QPolygonF({QPointF(10, 2), QPointF(22, 2), QPointF(22, 14)}), QColor(30, 60, 220));
        });
    case ID_OBJECT_INFO:
        return Painted([](QPainter& p) {
            p.setBrush(QColor(255, 255, 200));
            p.drawEllipse(QRectF(2, 2, 20, 20));
            Letter(p, QStringLiteral("i"), QColor(0, 0, 160));
        });
    case ID_OBJECT_COLORS:
        return Painted([](QPainter& p) {
            p.fillRect(QRectF(2, 2, 10, 10), Qt::red);
            p.fillRect(QRectF(12, 2, 10, 10), Qt::green);
            p.fillRect(QRectF(2, 12, 10, 10), Qt::blue);
            p.fillRect(QRectF(12, 12, 10, 10), Qt::yellow);
        });
    case ID_BACKGROUND_FLOOR:
        return Painted([](QPainter& p) {
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 2; ++j)
                    p.fillRect(QRectF(2 + i * 5, 12 + j * 5, 5, 5), (i + j) % 2 ? Qt::white : Qt::black);
            p.drawRect(QRectF(2, 12, 20, 10));
        });
    case ID_BACKGROUND_SKY:
        return Painted([](QPainter& p) {
            p.fillRect(QRectF(2, 2, 20, 20), QColor(90, 150, 230));
            p.setBrush(Qt::white);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(5, 10, 8, 6));
            p.drawEllipse(QRectF(10, 8, 9, 8));
        });
    case ID_FILE_PRINT:
        return Painted([](QPainter& p) {
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7, 2, 10, 8));
            p.setBrush(QColor(170, 170, 170));
            p.drawRect(QRectF(2, 10, 20, 8));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(6, 16, 12, 6));
        });
    case ID_APP_ABOUT:
        return Painted([](QPainter& p) {
            p.setBrush(QColor(255, 255, 200));
            p.drawEllipse(QRectF(2, 2, 20, 20));
            Letter(p, QStringLiteral("?"), QColor(0, 0, 160));
        });
    default:
        return QIcon();
    }
}
