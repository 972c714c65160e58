#include "WireframePainter.h"

#include <QPen>

void PaintSegments(QPainter& painter, const std::vector<CSegment>& segments, QPoint origin)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black, 0);  // cosmetic: one device pixel wide on screen and paper alike
    pen.setCapStyle(Qt::FlatCap);
    QRgb current = qRgb(0, 0, 0);
    painter.setPen(pen);
    for (const CSegment& s : segments) {
        QRgb color = qRgb(s.red, s.green, s.blue);
        if (color != current) {
            current = color;
            pen.setColor(QColor(color));
            painter.setPen(pen);
        }
        painter.drawLine(origin.x() + s.x0, origin.y() + s.y0, origin.x() + s.x1, origin.y() + s.y1);
    }
    painter.restore();
}

QImage RenderWireframe(const CModel& model, QSize size, const CWireframeSettings& settings)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(settings.background.red, settings.background.green, settings.background.blue));
    QPainter painter(&image);
    int scale = PixelScale(size.width(), size.height(), model.m_zoom);
    PaintSegments(painter, BuildWireframe(model, scale, settings), QPoint(size.width() / 2, size.height() / 2));
    return image;
}
