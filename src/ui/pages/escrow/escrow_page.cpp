#include "ui/pages/escrow/escrow_page.h"

#include <QCheckBox>
#include <QRadioButton>

#include "pages/escrow/escrow_view.h"
#include "protocol/catalogue.h"
#include "ui/pages/common/page_widgets.h"

namespace halvek::ui {

using namespace widgets;
using namespace escrowtext;

EscrowPage::EscrowPage(QWidget* parent, PageContext& context) : QWidget(parent), context_(context) {
    placeUpperPage(this);
    EscrowSettings& e = context_.stores.escrow;
    group(this, kActionGroup, 2, 2, 154, 66);
    autoAccept_ = new QCheckBox(kAutoAccept, this);
    autoAccept_->setGeometry(dluRect(8, 12, 54, 10));
    accept_ = button(this, kAccept, 8, 26, 50);
    return_ = button(this, kReturn, 8, 46, 50);
    creditLimit_ = new QCheckBox(kCreditLimit, this);
    creditLimit_->setGeometry(dluRect(70, 12, 62, 10));
    limit_ = new QLineEdit(this);
    limit_->setGeometry(dluRect(70, 26, 36, 12));
    // Four digits at most: a limit outside 0-9999 cannot be typed.
    limit_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), limit_));
    reset_ = button(this, kReset, 112, 25, 38);
    total_ = field(this, "0", 70, 41, 36, 11);
    bill_ = label(this, kNoBill, 70, 55, 82, 10);
    group(this, kExpirationGroup, 160, 2, 86, 40);
    default_ = new QRadioButton(kDefaultExpiration, this);
    default_->setGeometry(dluRect(166, 13, 76, 10));
    unlimited_ = new QRadioButton(kUnlimited, this);
    unlimited_->setGeometry(dluRect(166, 27, 76, 10));

    autoAccept_->setChecked(e.autoAccept);
    creditLimit_->setChecked(e.creditLimitOn);
    (e.defaultExpiration ? default_ : unlimited_)->setChecked(true);
    // The limit shown is the one the escrow decision uses. A tab chosen by the
    // user starts it from 9999 again (the main window does that); a switch made
    // because a bill came into escrow keeps the user's limit for that bill.
    limit_->setText(QString::number(e.creditLimit));
    limit_->setEnabled(e.creditLimitOn);

    connect(autoAccept_, &QCheckBox::clicked, this, [this](bool on) {
        context_.stores.escrow.autoAccept = on;
        refresh();
    });
    connect(creditLimit_, &QCheckBox::clicked, this, [this](bool on) {
        context_.stores.escrow.creditLimitOn = on;
        limit_->setEnabled(on);
    });
    // An empty box keeps the limit it had.
    connect(limit_, &QLineEdit::textChanged, this, [this](const QString& t) {
        bool ok = false;
        const int v = t.toInt(&ok);
        if (ok && v >= 0 && v <= kCreditLimitMax) context_.stores.escrow.creditLimit = v;
    });
    // Only a bill that is in escrow can be accepted, once; the credit total
    // counts it once the unit stacks it.
    connect(accept_, &QPushButton::clicked, this, [this] {
        if (context_.stores.escrow.billInEscrow) context_.link.decideEscrow(EscrowAction::Accept);
    });
    connect(return_, &QPushButton::clicked, this, [this] { context_.link.decideEscrow(EscrowAction::Return); });
    connect(reset_, &QPushButton::clicked, this, [this] {
        context_.link.clearCredit();
        refresh();
    });
    connect(default_, &QRadioButton::clicked, this, [this] {
        context_.stores.escrow.defaultExpiration = true;
        keepAlive_.stop();
    });
    connect(unlimited_, &QRadioButton::clicked, this, [this] {
        context_.stores.escrow.defaultExpiration = false;
        if (!keepAlive_.isActive()) keepAlive_.start(kKeepAliveMs);
    });
    connect(&keepAlive_, &QTimer::timeout, this, &EscrowPage::keepAlive);
    if (!e.defaultExpiration) keepAlive_.start(kKeepAliveReopenMs);
    context_.link.addStatusListener(this);
    refresh();
}

EscrowPage::~EscrowPage() { context_.link.removeStatusListener(this); }

void EscrowPage::refresh() {
    const EscrowSettings& e = context_.stores.escrow;
    accept_->setEnabled(acceptEnabled(e));
    total_->setText(QString::number(e.creditTotal));
    bill_->setText(latin1(billInEscrowText(e)));
}

void EscrowPage::focusDecision() {
    QWidget* target = accept_->isEnabled() ? static_cast<QWidget*>(accept_) : autoAccept_;
    target->setFocus(Qt::OtherFocusReason);
}

void EscrowPage::keepAlive() {
    if (keepAliveRestarts(context_.stores.escrow)) context_.link.request(cmd::RestartEscrow);
}

QWidget* createEscrowPage(QWidget* client, PageContext& context) { return new EscrowPage(client, context); }

}  // namespace halvek::ui
