#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace halvek::ui {

// The port doctor's report in a window (Help menu): one line per check, with the
// fix, and a button to check again after following one.
class DoctorDialog : public QDialog {
    Q_OBJECT
  public:
    // Checks the given devices (every serial device found when none is given);
    // root is where /sys, /dev and /proc are read ("/" but in tests).
    DoctorDialog(QWidget* parent, std::vector<std::string> ports, std::string root = "/");
    QString reportText() const;
    void checkAgain();

  private:
    void fitToReport();
    std::vector<std::string> ports_;
    std::string root_;
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace halvek::ui
