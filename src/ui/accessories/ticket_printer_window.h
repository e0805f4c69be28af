#pragma once

#include <array>

#include "accessories/ticket_printer_session.h"
#include "ui/accessories/tool_window.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace halvek::ui {

// "Ithaca 800 BarCode printer": the printer port and the Print button. The
// port belongs to the session: closing the window leaves it as it is.
class TicketPrinterWindow : public ToolWindow, public TicketPrinterListener {
    Q_OBJECT
  public:
    TicketPrinterWindow(QWidget* parent, TicketPrinterSession& session);
    ~TicketPrinterWindow() override;
    void printerChanged() override;
    void printFailed(const std::string& text, const std::string& reason) override;

    QLineEdit* digitsField() const { return digits_; }
    QPushButton* openButton() const { return open_; }
    QPushButton* printButton() const { return print_; }
    QLabel* problemLine() const { return problem_; }

  private:
    TicketPrinterSession& session_;
    std::array<QRadioButton*, TicketPrinterSession::kPorts> ports_{};
    QGroupBox* hint_;
    QPushButton* open_;
    QLineEdit* digits_;
    QPushButton* print_;
    QLabel* problem_;
};

}  // namespace halvek::ui
