#include "ui/pages/statistics/statistics_page.h"

#include <QPushButton>

#include "link/lower_page_actions.h"
#include "pages/statistics/statistics_view.h"
#include "ui/main/geometry.h"
#include "ui/main/held_font.h"
#include "ui/main/mnemonics.h"
#include "ui/pages/common/panel_painter.h"

namespace halvek::ui {

using namespace statistics_text;

StatisticsStrip::StatisticsStrip(QWidget* parent, PageContext& c) : QWidget(parent) {
    setGeometry(dluRect(10, 234, 220, 21));
    QFont small = font();
    small.setPixelSize(11);
    holdFont(this, small);
    auto button = [this](const char* caption, int x, bool toggles) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(dluRect(x, 1, 52, 14));
        b->setCheckable(toggles);
        return b;
    };
    clear_ = button(kClear, 0, false);
    read_ = button(kRead, 55, false);
    bills_ = button(kNextBills, 110, true);
    events_ = button(kNextEvents, 165, true);
    LinkController& link = c.link;
    StatisticsStore& stats = c.stores.statistics;
    connect(clear_, &QPushButton::clicked, this, [&link] { clearStatistics(link); });
    connect(read_, &QPushButton::clicked, this, [&link] { readStatistics(link); });
    connect(bills_, &QPushButton::clicked, this, [this, &link, &stats] {
        setCaption(bills_, toggleBillPage(stats) ? kNextBills : kPrevBills);
        link.refresh({View::Statistics});
    });
    connect(events_, &QPushButton::clicked, this, [this, &link, &stats] {
        setCaption(events_, toggleEventPage(stats) ? kNextEvents : kPrevEvents);
        link.refresh({View::Statistics});
    });
}

QWidget* makeStatisticsControls(QWidget* client, PageContext& c) {
    // A page freshly shown starts at the first bills and the first events.
    c.stores.statistics.billPage = true;
    c.stores.statistics.eventPage = true;
    return new StatisticsStrip(client, c);
}

void paintStatistics(QPainter& p, PageContext& c) {
    const StatisticsView view = statisticsView(c.stores.statistics);
    paintPanel(p, view.drawing);
    markStatisticsShown(c.stores.statistics, view);
}

}  // namespace halvek::ui
