#pragma once

#include <QWidget>

#include "ui/main/page_registry.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace halvek::ui {

// The Factory page: the factory number and the production date, read from and
// written to the unit (each write read back), and the burn cycle count. Each
// display shows its initial text until the unit has answered for it once.
class FactoryPage : public QWidget, public PageView {
    Q_OBJECT
  public:
    FactoryPage(QWidget* parent, PageContext& context);
    void refresh() override;

    QLineEdit* factoryEntry() const { return factoryEntry_; }
    QLineEdit* weekEntry() const { return week_; }
    QLineEdit* yearEntry() const { return year_; }
    QLabel* factoryNumber() const { return factoryNumber_; }
    QLabel* productionDate() const { return productionDate_; }
    QLabel* burnCycles() const { return burnCycles_; }
    QPushButton* setFactoryButton() const { return setFactory_; }
    QPushButton* getFactoryButton() const { return getFactory_; }
    QPushButton* setDateButton() const { return setDate_; }
    QPushButton* getDateButton() const { return getDate_; }
    QPushButton* burnButton() const { return burn_; }

  private:
    void setFactoryNumber();
    void setProductionDate();
    void getBurnCycles();

    PageContext& context_;
    QLineEdit *factoryEntry_, *week_, *year_;
    QLabel *factoryNumber_, *productionDate_, *burnCycles_;
    QPushButton *setFactory_, *getFactory_, *setDate_, *getDate_, *burn_;
};

QWidget* createFactoryPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
