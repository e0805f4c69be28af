#pragma once

#include <QPainter>
#include <QWidget>

#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The Statistics page's strip below the drawing area: clear and read the
// statistics, and turn the bill and event tables' pages.
class StatisticsStrip : public QWidget {
    Q_OBJECT
  public:
    StatisticsStrip(QWidget* parent, PageContext& context);

    QPushButton* clearButton() const { return clear_; }
    QPushButton* readButton() const { return read_; }
    QPushButton* billsButton() const { return bills_; }
    QPushButton* eventsButton() const { return events_; }

  private:
    QPushButton* clear_;
    QPushButton* read_;
    QPushButton* bills_;
    QPushButton* events_;
};

QWidget* makeStatisticsControls(QWidget* client, PageContext& context);
void paintStatistics(QPainter& painter, PageContext& context);

}  // namespace halvek::ui
