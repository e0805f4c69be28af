#include "ui/pages/common/panel_painter.h"

#include <QFontMetrics>

namespace halvek::ui {
namespace {

QColor colourOf(const Rgb& c) { return QColor(c.r, c.g, c.b); }

// The pages line numbers up under their headings with blanks, in a font whose
// blanks were wider than today's: each blank is widened by this much.
constexpr int kBlankWidening = 1;

int widthOf(const QFontMetrics& m, const QString& s) {
    return m.horizontalAdvance(s) + kBlankWidening * static_cast<int>(s.count(' '));
}

// Draws a text word by word, the blanks between them widened.
void drawWords(QPainter& p, const QFontMetrics& m, int x, int y, const QString& s) {
    qsizetype start = 0;
    while (start < s.size()) {
        qsizetype end = s.indexOf(' ', start);
        if (end < 0) end = s.size();
        if (end > start) {
            const QString word = s.mid(start, end - start);
            const int at = x + widthOf(m, s.left(start));
            p.drawText(QRect(at, y, m.horizontalAdvance(word), m.height()), Qt::AlignLeft | Qt::AlignTop, word);
        }
        start = end + 1;
    }
}

}  // namespace

QFont panelFont(const QFont& base) {
    QFont f = base;
    f.setPixelSize(11);
    // Crisp glyphs in exactly the colours asked for, as on the unit's old service screens.
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void beginChartArea(QPainter& p, const QRect& area) {
    p.fillRect(area, Qt::black);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font = p.font();
    font.setStyleHint(QFont::Monospace);  // before panelFont: a style hint resets the strategy it sets
    font.setFamily("monospace");
    p.setFont(panelFont(font));
}

void paintPanel(QPainter& p, const PanelDrawing& drawing) {
    p.save();
    p.setFont(panelFont(p.font()));
    const QFontMetrics metrics(p.font());
    for (const PanelItem& i : drawing.items()) {
        switch (i.kind) {
            case PanelItem::Kind::Text: {
                const QString s = QString::fromLatin1(i.text.data(), static_cast<qsizetype>(i.text.size()));
                if (i.opaque)
                    p.fillRect(QRect(i.x, i.y, widthOf(metrics, s), metrics.height()), colourOf(i.background));
                p.setPen(colourOf(i.colour));
                drawWords(p, metrics, i.x, i.y, s);
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
