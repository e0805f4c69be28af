#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <vector>

#include "pages/setup/setup_view.h"
#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The Setup page: the unit's eight switches as push-like check boxes whose
// caption names their state, and the two buttons that store or restore the
// unit's set-up. A click flips the switch at once and asks for the command
// that carries it; once that has gone out the set-up is read back, so the page
// ends up showing what the unit holds.
class SetupPage : public QWidget, public PageView {
    Q_OBJECT
  public:
    SetupPage(QWidget* parent, PageContext& context);
    void refresh() override;
    QPushButton* switchButton(SetupSwitch which) const { return switches_[static_cast<size_t>(which)]; }
    QPushButton* currentButton() const { return current_; }
    QPushButton* defaultButton() const { return default_; }

  private:
    void click(SetupSwitch which);
    void readBackWhenSent();

    PageContext& context_;
    std::array<QPushButton*, 8> switches_{};
    QPushButton* current_ = nullptr;
    QPushButton* default_ = nullptr;
    std::vector<uint8_t> sentBeforeReadBack_;
    QTimer readBack_;
};

QWidget* createSetupPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
