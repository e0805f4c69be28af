#pragma once

#include <QObject>
#include <QTimer>

#include "accessories/accept_all_session.h"
#include "ui/accessories/tool_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace halvek::ui {

// The one-second ticks of the accept-all countdown. It lives as long as the
// program (the main window owns it), so the countdown goes on with the window closed.
class AcceptAllTicker : public QObject {
    Q_OBJECT
  public:
    AcceptAllTicker(QObject* parent, AcceptAllSession& session);
    bool active() const { return timer_.isActive(); }

  private:
    QTimer timer_;
};

// "Varnik Optional Cmd": the period, START, the time left and the mode.
class AcceptAllWindow : public ToolWindow, public AcceptAllListener {
    Q_OBJECT
  public:
    AcceptAllWindow(QWidget* parent, AcceptAllSession& session);
    ~AcceptAllWindow() override;
    void acceptAllChanged() override;
    QLineEdit* periodField() const { return period_; }

  private:
    AcceptAllSession& session_;
    QLineEdit* period_;
    QLabel* timeLeft_;
    QLabel* mode_;
    QPushButton* start_;
};

}  // namespace halvek::ui
