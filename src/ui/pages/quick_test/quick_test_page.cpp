#include "ui/pages/quick_test/quick_test_page.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "link/texts.h"
#include "pages/quick_test/quick_test_texts.h"
#include "protocol/catalogue.h"
#include "ui/main/geometry.h"
#include "ui/pages/common/panel_painter.h"

namespace halvek::ui {
namespace {

constexpr const char* kOnlyExtended = "Available only in Q7E mode";

QuickTestPanel* gShown = nullptr;

QColor rgb(uint32_t v) { return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

}  // namespace

QuickTestPanel::QuickTestPanel(QWidget* client, PageContext& context)
    : QWidget(client), context_(context), prompt_(context.link.repliesTaken(cmd::ReadDiagn1)) {
    setGeometry(dluRect(10, 121, 86, 110));
    auto* group = new QGroupBox(this);
    group->setGeometry(dluRect(4, 4, 78, 102));
    run_ = new QPushButton(quicktest::kRunTest, this);
    run_->setGeometry(dluRect(14, 30, 58, 16));
    clear_ = new QPushButton(quicktest::kClearResults, this);
    clear_->setGeometry(dluRect(14, 64, 58, 16));
    connect(run_, &QPushButton::clicked, this, &QuickTestPanel::runTest);
    connect(clear_, &QPushButton::clicked, this, &QuickTestPanel::clearResults);
    gShown = this;
}

QuickTestPanel::~QuickTestPanel() {
    if (gShown == this) gShown = nullptr;
}

QuickTestPanel* QuickTestPanel::shown() { return gShown; }

void QuickTestPanel::evaluated() {
    if (!prompt_.shouldAsk(context_.stores.optics, context_.stores.video, context_.link.repliesTaken(cmd::ReadDiagn1)))
        return;
    // A message box must not open inside a paint event.
    QTimer::singleShot(0, this, [this] { context_.ui.showMessage({text::kInfo, quicktest::kInsertVlaPaper}); });
}

// As the Main optics page's "Read Data"; the reply then brings a fresh evaluation.
void QuickTestPanel::runTest() {
    LinkController& link = context_.link;
    context_.ui.repaintDrawingArea(true);
    if (!link.timerRunning())
        context_.ui.showMessage({text::kInfo, text::kNoConnectionLower});
    else if (!link.extendedMode())
        context_.ui.showMessage({text::kInfo, kOnlyExtended});
    else
        link.request(cmd::ReadDiagn1);
}

// The data stay; only their having arrived is forgotten, so every line reads "incomplete".
void QuickTestPanel::clearResults() {
    context_.stores.optics.received = false;
    context_.stores.video.received = false;
    context_.ui.repaintDrawingArea(true);
}

QWidget* makeQuickTestPanel(QWidget* client, PageContext& context) { return new QuickTestPanel(client, context); }

void paintQuickTest(QPainter& p, PageContext& c) {
    paintQuickTestView(p, quickTestView(c.stores.optics, c.stores.video, c.stores.sensors.l8v));
    if (QuickTestPanel* panel = QuickTestPanel::shown()) panel->evaluated();
}

void paintQuickTestView(QPainter& p, const QuickTestView& view) {
    beginChartArea(p, kDrawingArea);
    for (const QuickTestView::Line& l : view.lines) {
        p.setPen(QPen(rgb(l.colour), 1));
        p.drawLine(l.x1, l.y1, l.x2, l.y2);
    }
    const QFont font = p.font();
    for (const QuickTestView::Text& t : view.texts) {
        // A text ends before the next rule to its right: one that would run over it
        // is drawn narrower, so it never touches the column beside it.
        int room = 600;
        for (const QuickTestView::Line& l : view.lines)
            if (l.x1 == l.x2 && l.x1 > t.x && l.y1 <= t.y && t.y <= l.y2) room = std::min(room, l.x1 - t.x - 3);
        const QString text = QString::fromStdString(t.text);
        const int width = QFontMetrics(font).horizontalAdvance(text);
        QFont narrow = font;
        if (width > 0 && width > room) narrow.setStretch(std::max(50, 100 * std::max(room, 0) / width));
        p.setFont(narrow);
        p.setPen(rgb(t.colour));
        p.drawText(QRect(t.x, t.y, room, 14), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    p.setFont(font);
}

}  // namespace halvek::ui
