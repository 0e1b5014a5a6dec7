#include "ui/program_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace lingchao {

QPixmap ProgramPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;

    QRadialGradient disc(s * 0.4, s * 0.35, s * 0.6);
    disc.setColorAt(0, QColor(70, 130, 220));
    disc.setColorAt(1, QColor(20, 60, 140));
    p.setBrush(disc);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(0, 0, s, s));

    // The bell: a dome over a flared rim, with its clapper below.
    QPainterPath bell;
    bell.moveTo(s * 0.22, s * 0.70);
    bell.cubicTo(s * 0.30, s * 0.62, s * 0.28, s * 0.30, s * 0.50, s * 0.24);
    bell.cubicTo(s * 0.72, s * 0.30, s * 0.70, s * 0.62, s * 0.78, s * 0.70);
    bell.closeSubpath();
    QLinearGradient gold(0, s * 0.2, s, s * 0.8);
    gold.setColorAt(0, QColor(255, 230, 120));
    gold.setColorAt(1, QColor(210, 150, 30));
    p.setBrush(gold);
    p.setPen(QPen(QColor(120, 80, 10), s / 48.0));
    p.drawPath(bell);
    p.drawEllipse(QPointF(s * 0.50, s * 0.22), s * 0.05, s * 0.05);
    p.drawEllipse(QPointF(s * 0.50, s * 0.75), s * 0.07, s * 0.07);
    return pixmap;
}

}  // namespace lingchao
