#include "ui/pages/common/panel_painter.h"

#include <QFontMetrics>

namespace halvek::ui {
namespace {

QColor colourOf(const Rgb& c) { return QColor(c.r, c.g, c.b); }

}  // namespace

QFont panelFont(const QFont& base) {
    QFont f = base;
    f.setPixelSize(11);
    return f;
}

void paintPanel(QPainter& p, const PanelDrawing& drawing) {
    p.save();
    p.setFont(panelFont(p.font()));
    const QFontMetrics metrics(p.font());
    for (const PanelItem& i : drawing.items()) {
        switch (i.kind) {
            case PanelItem::Kind::Text: {
                const QString s = QString::fromLatin1(i.text.data(), static_cast<qsizetype>(i.text.size()));
                const QRect box(i.x, i.y, metrics.horizontalAdvance(s), metrics.height());
                if (i.opaque) p.fillRect(box, colourOf(i.background));
                p.setPen(colourOf(i.colour));
                p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
                break;
            }
            case PanelItem::Kind::Box:
                p.fillRect(QRect(i.x, i.y, i.x2, i.y2), colourOf(i.colour));
                break;
            case PanelItem::Kind::Line:
                p.setPen(QPen(colourOf(i.colour), 1));
                p.drawLine(i.x, i.y, i.x2, i.y2);
                break;
        }
    }
    p.restore();
}

}  // namespace halvek::ui
