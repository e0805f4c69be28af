#include "ui/pages/video/video_test_page.h"

#include <QLabel>

#include "ui/main/geometry.h"
#include "ui/pages/common/panel_painter.h"

namespace halvek::ui {
namespace {

constexpr const char* kInsertPaper = "Insert white \"VLA\" paper cupon into validator (if ready)";

QColor rgb(uint32_t v) { return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

}  // namespace

QWidget* makeVideoTestStrip(QWidget* client, PageContext&) {
    auto* strip = new QWidget(client);
    strip->setGeometry(dluRect(10, 234, 220, 17));
    auto* text = new QLabel(kInsertPaper, strip);
    text->setGeometry(dluRect(0, 3, 220, 10));
    return strip;
}

void paintVideoTest(QPainter& p, PageContext& c) {
    paintVideoView(p, videoView(c.stores.video, c.stores.sensors.l8v, c.link.diagnosticsAvailable()));
}

void paintVideoView(QPainter& p, const VideoView& view) {
    beginChartArea(p, kDrawingArea);
    for (const VideoView::Line& l : view.lines) {
        p.setPen(QPen(rgb(l.colour), 1));
        p.drawLine(l.x1, l.y1, l.x2, l.y2);
    }
    for (const VideoView::Tick& t : view.ticks) p.fillRect(t.x, t.y - 1, VideoView::kTickWidth, 2, rgb(t.colour));
    for (const VideoView::Text& t : view.texts) {
        p.setPen(rgb(t.colour));
        p.drawText(QRect(t.x, t.y, 600, 14), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromStdString(t.text));
    }
}

}  // namespace halvek::ui
