#include "ui/pages/identity/factory_page.h"

#include <ctime>

#include "pages/identity/identity_view.h"
#include "protocol/catalogue.h"
#include "ui/pages/common/page_widgets.h"
#include "ui/pages/common/unread.h"
#include "ui/pages/identity/entry_box.h"

namespace halvek::ui {

using namespace widgets;
using namespace identitytext;

namespace {

WeekPreset today() {
    const time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    return weekPreset(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

}  // namespace

FactoryPage::FactoryPage(QWidget* parent, PageContext& context) : QWidget(parent), context_(context) {
    placeUpperPage(this);
    group(this, kFactoryGroup, 2, 2, 244, 66);
    setFactory_ = button(this, kSetFactNum, 8, 12, 52);
    factoryEntry_ = numberBox(this, "0", 64, 13, 30);
    getFactory_ = button(this, kGetFactNum, 126, 12, 52);
    factoryNumber_ = field(this, kFactNumInitial, 182, 13, 58);
    setDate_ = button(this, kSetProdDate, 8, 31, 52);
    label(this, kWeek, 64, 33, 10, 9);
    const WeekPreset preset = today();
    week_ = numberBox(this, QString::number(preset.week), 74, 32, 18);
    label(this, kYear, 96, 33, 10, 9);
    year_ = numberBox(this, QString::number(preset.year), 106, 32, 18);
    getDate_ = button(this, kGetProdDate, 126, 31, 52);
    productionDate_ = field(this, kProdDateInitial, 182, 32, 58);
    burn_ = button(this, kGetBurnCycle, 126, 50, 52);
    burnCycles_ = field(this, kBurnCyclesInitial, 182, 51, 58);
    LinkController& link = context_.link;
    connect(setFactory_, &QPushButton::clicked, this, &FactoryPage::setFactoryNumber);
    connect(getFactory_, &QPushButton::clicked, this, [&link] { link.request(cmd::ReadFactNum); });
    connect(setDate_, &QPushButton::clicked, this, &FactoryPage::setProductionDate);
    connect(getDate_, &QPushButton::clicked, this, [&link] { link.request(cmd::ReadProdDate); });
    connect(burn_, &QPushButton::clicked, this, &FactoryPage::getBurnCycles);
    requestUnread(link, {cmd::ReadFactNum, cmd::ReadProdDate, link.extendedMode() ? cmd::ReadBurnCycles : uint8_t{0}});
    refresh();
}

void FactoryPage::refresh() {
    const IdentityStore& id = context_.stores.identity;
    const LinkController& link = context_.link;
    // Until the unit has answered, a display keeps its initial text rather than a zero it never said.
    if (link.repliesTaken(cmd::ReadFactNum) > 0) factoryNumber_->setText(latin1(factoryNumberText(id)));
    if (link.repliesTaken(cmd::ReadProdDate) > 0) productionDate_->setText(latin1(productionDateText(id)));
    if (link.repliesTaken(cmd::ReadBurnCycles) > 0) burnCycles_->setText(latin1(burnCyclesText(id)));
}

void FactoryPage::setFactoryNumber() {
    const auto n = takeEntry(factoryEntry_, 0, kIdMax, context_.ui);
    if (!n) return;
    context_.stores.identity.factoryNumber = toBcd4(*n);
    context_.link.request(cmd::SetFactNum);
    context_.link.request(cmd::ReadFactNum);
}

void FactoryPage::setProductionDate() {
    const auto week = takeEntry(week_, kWeekMin, kWeekMax, context_.ui);
    if (!week) return;
    const auto year = takeEntry(year_, 0, kYearMax, context_.ui);
    if (!year) return;
    context_.stores.identity.productionDate = {toBcd2(*week), toBcd2(*year)};
    context_.link.request(cmd::SetProdDate);
    context_.link.request(cmd::ReadProdDate);
}

void FactoryPage::getBurnCycles() {
    if (!context_.link.extendedMode()) {
        context_.ui.showMessage({text::kInfo, kBurnOnlyExtended});
        return;
    }
    context_.link.request(cmd::ReadBurnCycles);
}

QWidget* createFactoryPage(QWidget* client, PageContext& context) { return new FactoryPage(client, context); }

}  // namespace halvek::ui
