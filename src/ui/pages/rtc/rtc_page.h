#pragma once

#include <QTimer>
#include <QWidget>
#include <ctime>
#include <functional>

#include "pages/rtc/rtc_store.h"
#include "ui/main/page_registry.h"

class QLabel;
class QPushButton;

namespace halvek::ui {

// The RTC page: the PC's local time, renewed every second, beside the unit's
// clock as last read; the unit's clock is read or set to the PC's time (and
// read back). Units without a clock have both buttons disabled.
class RtcPage : public QWidget, public PageView {
    Q_OBJECT
  public:
    using Clock = std::function<std::tm()>;  // the PC's local time; tests give a fixed one
    RtcPage(QWidget* parent, PageContext& context, Clock clock = {});
    void refresh() override;
    void tick();

    QLabel* pcTime() const { return pcTime_; }
    QLabel* unitTime() const { return unitTime_; }
    QPushButton* setButton() const { return set_; }
    QPushButton* readButton() const { return read_; }
    const QTimer& timer() const { return timer_; }

  private:
    bool unitHasClockOrDisable();
    void setClock();
    void readClock();

    PageContext& context_;
    Clock clock_;
    RtcRecord pcRecord_{};
    QLabel *pcTime_, *unitTime_;
    QPushButton *set_, *read_;
    QTimer timer_;
};

QWidget* createRtcPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
