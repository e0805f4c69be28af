#pragma once

#include <QWidget>
#include <array>

#include "pages/counters/counters_view.h"
#include "ui/main/page_registry.h"

class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace halvek::ui {

// The Counters page: the per-type QRV counts, the life count and the last
// five bill types in one two-column list, chosen by a selector, with the
// buttons that read and clear them. A clear is read back from the unit.
class CountersPage : public QWidget, public PageView {
    Q_OBJECT
  public:
    CountersPage(QWidget* parent, PageContext& context);
    void refresh() override;

    QTreeWidget* list() const { return list_; }
    QRadioButton* selector(CounterSelection s) const { return selectors_[static_cast<size_t>(s)]; }
    QPushButton* readButton() const { return read_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* clearAllButton() const { return clearAll_; }

  private:
    void read();
    void clear();
    void clearAll();
    void clearQrv();
    void clearLife();

    PageContext& context_;
    CounterSelection selection_ = CounterSelection::Qrv;
    QTreeWidget* list_;
    std::array<QRadioButton*, 3> selectors_{};
    QPushButton *read_, *clear_, *clearAll_;
};

QWidget* createCountersPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
