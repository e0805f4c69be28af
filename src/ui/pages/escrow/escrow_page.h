#pragma once

#include <QTimer>
#include <QWidget>

#include "link/status_listener.h"
#include "ui/main/page_registry.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace halvek::ui {

// The Escrow page: the user's say over a bill in escrow (by hand, or the
// controller's automatic decision with an optional credit limit) and whether
// the unit's escrow time-out applies. The decision itself runs in the status
// decoding with the settings kept here; the page shows the credit total and
// the bill now in escrow from the stores. While "Unlimited" is chosen and the
// page is open, a keep-alive timer restarts the unit's escrow time-out.
class EscrowPage : public QWidget, public PageView, public StatusListener {
    Q_OBJECT
  public:
    EscrowPage(QWidget* parent, PageContext& context);
    ~EscrowPage() override;
    void refresh() override;
    void statusDecoded(const StatusBytes&) override { refresh(); }
    // Puts the keyboard on the decision for the bill in escrow: Accept, or
    // Auto Acc. while the controller decides (Accept is disabled then).
    void focusDecision();
    // The keep-alive timer's tick (tests call it by hand).
    void keepAlive();

    QPushButton* acceptButton() const { return accept_; }
    QPushButton* returnButton() const { return return_; }
    QPushButton* resetButton() const { return reset_; }
    QCheckBox* autoAcceptBox() const { return autoAccept_; }
    QCheckBox* creditLimitBox() const { return creditLimit_; }
    QLineEdit* limitBox() const { return limit_; }
    QLabel* creditTotal() const { return total_; }
    QLabel* billInEscrow() const { return bill_; }
    QRadioButton* unlimitedButton() const { return unlimited_; }
    QRadioButton* defaultButton() const { return default_; }
    const QTimer& keepAliveTimer() const { return keepAlive_; }

  private:
    PageContext& context_;
    QPushButton *accept_, *return_, *reset_;
    QCheckBox *autoAccept_, *creditLimit_;
    QLineEdit* limit_;
    QLabel *total_, *bill_;
    QRadioButton *default_, *unlimited_;
    QTimer keepAlive_;
};

QWidget* createEscrowPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
