#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>

#include "link/link_controller.h"
#include "link/user_interface.h"
#include "report/report_session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace halvek::ui {

// What the main window keeps between reports: the serial number typed last and
// the folder of the last report written.
struct ReportMemory {
    std::string serialNumber;
    std::string lastPath;
};

// "Diagnostics Log File": the parts to write and the unit's serial number. Its
// ReportSession reads the unit; OK is enabled only once those reads have been
// answered, and the window says which part is still read or cannot be.
class ReportWindow : public QDialog, private ReportSessionListener {
    Q_OBJECT
  public:
    // Asks for the file; "" when the user cancelled. The default is the
    // "Save Log File As" dialog.
    using FileChooser = std::function<std::string(QWidget* parent, const std::string& proposed)>;

    ReportWindow(QWidget* parent, LinkController& controller, UserInterface& ui, ReportMemory& memory);

    // Opens the one report window of the main window, or activates it; refused
    // with "No connection" while the validator is not connected.
    static ReportWindow* open(QWidget* parent, LinkController& controller, UserInterface& ui, ReportMemory& memory);

    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    const ReportSession& session() const { return session_; }
    QCheckBox* partBox(ReportPart part) const;
    QLineEdit* serialField() const { return serial_; }
    QPushButton* okButton() const { return ok_; }
    QLabel* statusText() const { return status_; }

  public Q_SLOTS:
    void confirm();

  private:
    void reportReadsChanged() override;
    void takeOptions();
    void showState();

    LinkController& controller_;
    UserInterface& ui_;
    ReportMemory& memory_;
    ReportSession session_;
    FileChooser chooseFile_;
    QTimer tick_;
    QCheckBox* boxes_[kReportParts] = {};
    QLineEdit* serial_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace halvek::ui
