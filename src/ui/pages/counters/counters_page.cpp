#include "ui/pages/counters/counters_page.h"

#include <QHeaderView>
#include <QRadioButton>
#include <QTreeWidget>

#include "link/texts.h"
#include "protocol/catalogue.h"
#include "ui/pages/common/page_widgets.h"
#include "ui/pages/common/unread.h"

namespace halvek::ui {

using namespace widgets;
using namespace counterstext;

namespace {

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace

CountersPage::CountersPage(QWidget* parent, PageContext& context) : QWidget(parent), context_(context) {
    placeUpperPage(this);
    list_ = new QTreeWidget(this);
    list_->setGeometry(dluRect(2, 2, 90, 66));
    list_->setColumnCount(2);
    list_->setHeaderLabels({kTypeColumn, kCountColumn});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, 40);
    list_->setColumnWidth(1, 75);
    QPalette p = list_->palette();
    p.setColor(QPalette::Base, qcolor(kCountersBackground));
    list_->setPalette(p);
    for (size_t k = 0; k < kCounterRows; ++k) new QTreeWidgetItem(list_);

    group(this, kSelectGroup, 96, 2, 70, 50);
    const char* captions[] = {kQrv, kLife, kLastFive};
    for (size_t i = 0; i < selectors_.size(); ++i) {
        selectors_[i] = new QRadioButton(captions[i], this);
        selectors_[i]->setGeometry(dluRect(102, 13 + 12 * static_cast<int>(i), 60, 10));
        connect(selectors_[i], &QRadioButton::clicked, this, [this, i] {
            selection_ = static_cast<CounterSelection>(i);
            refresh();
        });
    }
    selectors_[0]->setChecked(true);
    read_ = button(this, kRead, 172, 6, 62);
    clear_ = button(this, kClear, 172, 28, 62);
    clearAll_ = button(this, kClearAll, 172, 50, 62);
    connect(read_, &QPushButton::clicked, this, &CountersPage::read);
    connect(clear_, &QPushButton::clicked, this, &CountersPage::clear);
    connect(clearAll_, &QPushButton::clicked, this, &CountersPage::clearAll);
    const bool extended = context_.link.extendedMode();
    requestUnread(context_.link,
                  {extended ? cmd::ReadQrvBillCount : uint8_t{0}, cmd::ReadBillCounter, cmd::ReadLastFive});
    refresh();
}

void CountersPage::refresh() {
    const CountersView v = countersView(context_.stores.counters, selection_);
    const QColor text = qcolor(v.colour), background = qcolor(kCountersBackground);
    for (size_t k = 0; k < kCounterRows; ++k) {
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(k));
        item->setText(0, latin1(v.rows[k].type));
        item->setText(1, latin1(v.rows[k].count));
        for (int c = 0; c < 2; ++c) {
            item->setForeground(c, text);
            item->setBackground(c, background);
        }
    }
}

void CountersPage::read() {
    switch (selection_) {
        case CounterSelection::Qrv:
            if (!context_.link.extendedMode()) {
                context_.ui.showMessage({text::kInfo, kOnlyExtended});
                return;
            }
            context_.link.request(cmd::ReadQrvBillCount);
            break;
        case CounterSelection::Life:
            context_.link.request(cmd::ReadBillCounter);
            break;
        case CounterSelection::LastFive:
            context_.link.request(cmd::ReadLastFive);
            break;
    }
}

// A cleared count shows 0 at once, and is read back to show what the unit then holds.
void CountersPage::clearQrv() {
    context_.link.request(cmd::ClearQrvCounter);
    context_.stores.counters.qrvCounts.fill(0);
    refresh();
    if (context_.link.extendedMode()) context_.link.request(cmd::ReadQrvBillCount);
}

void CountersPage::clearLife() {
    context_.link.request(cmd::ClearLifeCount);
    context_.stores.counters.lifeCount = 0;
    refresh();
    context_.link.request(cmd::ReadBillCounter);
}

void CountersPage::clear() {
    if (selection_ == CounterSelection::Qrv) clearQrv();
    if (selection_ == CounterSelection::Life) clearLife();
}

void CountersPage::clearAll() {
    clearQrv();
    clearLife();
    context_.link.request(cmd::ClearBillCounter);
}

QWidget* createCountersPage(QWidget* client, PageContext& context) { return new CountersPage(client, context); }

}  // namespace halvek::ui
