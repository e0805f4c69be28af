#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;
class QShowEvent;

namespace halvek {
struct Message;
}

namespace halvek::ui {

// "Poll Timer Interval ( ms )": asks for a poll period of 100 to 3000 ms.
// Refusals go through the given message function; the window stays open.
class PollIntervalWindow : public QDialog {
    Q_OBJECT
  public:
    PollIntervalWindow(QWidget* parent, std::function<void(const Message&)> say);
    int value() const { return value_; }
    QLineEdit* field() const { return field_; }

  public Q_SLOTS:
    void confirm();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* group_;
    QWidget* prompt_;
    QWidget* buttons_[2];
    std::function<void(const Message&)> say_;
    QLineEdit* field_;
    int value_ = 0;
};

}  // namespace halvek::ui
