#include "ui/pages/view_data/view_data_painter.h"

#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

QColor rgb(uint32_t v) { return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

}  // namespace

void paintViewData(QPainter& p, const ViewDataView& view) {
    p.fillRect(kDrawingArea, Qt::black);
    QFont font = p.font();
    font.setStyleHint(QFont::Monospace);
    font.setFamily("monospace");
    font.setPixelSize(12);
    p.setFont(font);
    for (const ViewDataView::Row& row : view.rows()) {
        if (!row.used) continue;
        const QRect band(ViewDataView::kLeft, row.y, ViewDataView::kRight - ViewDataView::kLeft,
                         ViewDataView::kRowHeight);
        p.fillRect(band, rgb(row.background));
        for (const ViewDataView::Cell& c : row.cells) {
            p.setPen(rgb(c.reply ? view.validatorColour() : view.controllerColour()));
            p.drawText(QRect(c.x, row.y, ViewDataView::kCellWidth, ViewDataView::kRowHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(c.text, 2));
        }
    }
}

}  // namespace halvek::ui
