#include "ui/pages/setup/setup_page.h"

#include <algorithm>

#include "protocol/catalogue.h"
#include "ui/main/mnemonics.h"
#include "ui/pages/common/page_widgets.h"

namespace halvek::ui {

using namespace widgets;

SetupPage::SetupPage(QWidget* parent, PageContext& context) : QWidget(parent), context_(context) {
    placeUpperPage(this);
    for (const SetupColumn& c : setupColumns()) label(this, c.caption, c.x, 3, kHeadingWidth);
    for (const SetupSwitchRow& row : setupSwitchRows()) {
        QPushButton* b = button(this, setuptext::kTemplateUninhibit, row.x, row.y, kSwitchWidth, kSwitchHeight);
        b->setCheckable(true);
        connect(b, &QPushButton::clicked, this, [this, which = row.which] { click(which); });
        switches_[static_cast<size_t>(row.which)] = b;
    }
    group(this, setuptext::kSaveGroup, 172, 4, 74, 56);
    current_ = button(this, setuptext::kCurrent, 175, 16, 68);
    default_ = button(this, setuptext::kDefault, 175, 38, 68);
    connect(current_, &QPushButton::clicked, this, [this] { context_.link.request(cmd::SaveSetup); });
    connect(default_, &QPushButton::clicked, this, [this] {
        context_.link.request(cmd::RestoreDefaults);
        // The start-up reads run again and bring the restored set-up back to the page.
        context_.link.setStartupCountdown(LinkController::kStartupReads);
    });
    readBack_.setInterval(50);
    connect(&readBack_, &QTimer::timeout, this, &SetupPage::readBackWhenSent);
    refresh();
}

void SetupPage::refresh() {
    const SetupSwitches& s = context_.stores.setup;
    const bool interrupt = context_.link.interruptMode();
    for (const SetupSwitchRow& row : setupSwitchRows()) {
        const bool on = switchState(s, interrupt, row.which);
        QPushButton* b = switchButton(row.which);
        b->setChecked(on);
        setCaption(b, QString::fromLatin1(on ? row.shownOn : row.shownOff));
    }
}

void SetupPage::click(SetupSwitch which) {
    bool interrupt = context_.link.interruptMode();
    const uint8_t code = flipSwitch(context_.stores.setup, interrupt, which);
    // The system mode switch changes how the controller talks at once.
    context_.link.setInterruptMode(interrupt);
    const SetupSwitchRow& row = setupSwitchRow(which);
    setCaption(
        switchButton(which),
        QString::fromLatin1(switchState(context_.stores.setup, interrupt, which) ? row.clickedOn : row.clickedOff));
    if (code == 0) return;  // the orientation has no command: it stays the page's own
    context_.link.request(code);
    if (std::find(sentBeforeReadBack_.begin(), sentBeforeReadBack_.end(), code) == sentBeforeReadBack_.end())
        sentBeforeReadBack_.push_back(code);
    readBack_.start();
}

// The set-up is read back only after every command asked for has gone out
// (inhibit and un-inhibit have codes above the read's and would go after it).
void SetupPage::readBackWhenSent() {
    for (uint8_t code : sentBeforeReadBack_)
        if (context_.link.requestState(code) != RequestState::Idle) return;
    sentBeforeReadBack_.clear();
    readBack_.stop();
    context_.link.request(cmd::ReadSetup);
}

QWidget* createSetupPage(QWidget* client, PageContext& context) { return new SetupPage(client, context); }

}  // namespace halvek::ui
