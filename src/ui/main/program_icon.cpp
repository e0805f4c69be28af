#include "ui/main/program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace halvek::ui {

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        p.setBrush(QColor(0, 159, 159));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(1 * u, 6 * u, 14 * u, 9 * u), 1.5 * u, 1.5 * u);  // the validator
        p.setBrush(QColor(68, 255, 68));
        p.drawRect(QRectF(3 * u, 1 * u, 10 * u, 8 * u));  // the note
        p.setBrush(QColor(0, 120, 0));
        p.drawEllipse(QPointF(8 * u, 5 * u), 2 * u, 2 * u);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(2 * u, 9 * u, 12 * u, 1.2 * u));  // the slot
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace halvek::ui
