#include "ui/pages/rtc/rtc_page.h"

#include "link/texts.h"
#include "pages/rtc/rtc_view.h"
#include "protocol/catalogue.h"
#include "ui/pages/common/page_widgets.h"
#include "ui/pages/common/unread.h"

namespace halvek::ui {

using namespace widgets;
using namespace rtctext;

namespace {

std::tm localNow() {
    const time_t now = time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

}  // namespace

RtcPage::RtcPage(QWidget* parent, PageContext& context, Clock clock)
    : QWidget(parent), context_(context), clock_(clock ? std::move(clock) : Clock(localNow)) {
    placeUpperPage(this);
    group(this, kPcGroup, 2, 2, 156, 30);
    pcTime_ = label(this, kInitial, 8, 15, 146);
    group(this, kUnitGroup, 2, 36, 156, 30);
    unitTime_ = label(this, kInitial, 8, 49, 146);
    group(this, kSyncGroup, 162, 2, 84, 64);
    set_ = button(this, kSet, 170, 16, 68);
    read_ = button(this, kRead, 170, 40, 68);
    connect(set_, &QPushButton::clicked, this, &RtcPage::setClock);
    connect(read_, &QPushButton::clicked, this, &RtcPage::readClock);
    connect(&timer_, &QTimer::timeout, this, &RtcPage::tick);
    timer_.start(kRtcTickMs);
    // Filled at once, so that a set before the first tick sends the PC's time too.
    tick();
    if (unitHasClockOrDisable()) {
        requestUnread(context_.link, {cmd::ReadRtc});
        refresh();
    }
}

void RtcPage::tick() {
    pcRecord_ = rtcRecordOf(clock_());
    pcTime_->setText(latin1(rtcText(pcRecord_)));
}

// The unit type is judged from the revision as last read (none yet: it passes).
bool RtcPage::unitHasClockOrDisable() {
    if (unitHasClock(context_.stores.identity.unitType())) return true;
    set_->setEnabled(false);
    read_->setEnabled(false);
    unitTime_->setText(kNotAvailable);
    return false;
}

void RtcPage::refresh() {
    if (context_.link.repliesTaken(cmd::ReadRtc) > 0) unitTime_->setText(latin1(rtcText(context_.stores.rtc)));
}

void RtcPage::readClock() {
    if (unitHasClockOrDisable()) context_.link.request(cmd::ReadRtc);
}

void RtcPage::setClock() {
    if (!unitHasClockOrDisable()) {
        context_.ui.showMessage({text::kInfo, kNoRtc});
        return;
    }
    tick();  // the time of the press, not of the last tick
    context_.stores.rtc = pcRecord_;
    context_.link.request(cmd::SetRtc);
    // The unit's field changes when the clock is read again: read it now.
    context_.link.request(cmd::ReadRtc);
}

QWidget* createRtcPage(QWidget* client, PageContext& context) { return new RtcPage(client, context); }

}  // namespace halvek::ui
