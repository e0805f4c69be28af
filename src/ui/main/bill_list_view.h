#pragma once

#include <QTreeWidget>

#include "link/stores.h"

namespace halvek::ui {

// The bill types with their enable state: 64 rows, a check image per row.
class BillListView : public QTreeWidget {
    Q_OBJECT
  public:
    explicit BillListView(QWidget* parent);
    // Fills the rows a bill table reply gave (1-64 long layout, 1-16 short); others stay.
    void fill(const BillStore& bills, bool extended);
    // The check image and "stat" text of one row, after a click.
    void showEnabled(int row, bool enabled);

  Q_SIGNALS:
    // Space or Return on the current row: toggle it, as a click does.
    void toggleRequested(int row);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace halvek::ui
