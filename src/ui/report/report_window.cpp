#include "ui/report/report_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <cstdio>

#include "link/texts.h"
#include "report/report_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

constexpr const char* kSerialNeeded = "Type the unit's serial number first: it names the log file.";

// The check boxes in the order the window shows them.
constexpr ReportPart kBoxOrder[] = {ReportPart::Statistics, ReportPart::MainOptics, ReportPart::Sensors,
                                    ReportPart::Video};

std::string saveLogFileAs(QWidget* parent, const std::string& proposed) {
    QFileDialog dialog(parent, text::kSaveLogFileAs, QString(), "Log Files (*.TXT *.txt);;All Files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("TXT");
    // An existing report of that name is replaced without a question, as always.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QString::fromStdString(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

}  // namespace

ReportWindow::ReportWindow(QWidget* parent, LinkController& controller, UserInterface& ui, ReportMemory& memory)
    : QDialog(parent),
      controller_(controller),
      ui_(ui),
      memory_(memory),
      session_(controller, this),
      chooseFile_(saveLogFileAs) {
    setWindowTitle(text::kReportWindowTitle);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(dluX(259), dluY(85) + 22);  // room below for the state of the reads

    auto* group = new QGroupBox(text::kReportComponents, this);
    group->setGeometry(dluRect(7, 4, 150, 76));
    const ReportOptions defaults;
    for (int i = 0; i < 4; ++i) {
        const ReportPart part = kBoxOrder[i];
        auto* box = new QCheckBox(reportPartName(part), group);
        box->setGeometry(dluRect(7, 11 + 13 * i, 140, 10));
        box->setChecked(defaults.includes(part));
        boxes_[static_cast<size_t>(part)] = box;
        connect(box, &QCheckBox::clicked, this, [this, part] {
            takeOptions();
            // The user runs the white-paper test on the Video test page.
            if (part == ReportPart::Video) controller_.selectPage(TabRow::Lower, page::VideoTest);
        });
    }
    auto* hint = new QLabel(text::kReportVideoHint, group);
    hint->setGeometry(dluRect(19, 62, 120, 10));

    auto* label = new QLabel(text::kReportSerialLabel, this);
    label->setGeometry(dluRect(167, 8, 80, 10));
    serial_ = new QLineEdit(QString::fromStdString(memory_.serialNumber), this);
    serial_->setGeometry(dluRect(167, 20, 80, 13));
    serial_->setMaxLength(static_cast<int>(ReportOptions::kSerialNumberLength));
    connect(serial_, &QLineEdit::textChanged, this, [this] { takeOptions(); });

    ok_ = new QPushButton("OK", this);
    ok_->setGeometry(dluRect(167, 44, 50, 14));
    ok_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setGeometry(dluRect(167, 62, 50, 14));
    connect(ok_, &QPushButton::clicked, this, &ReportWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    status_ = new QLabel(this);
    status_->setGeometry(dluX(7), dluY(85), dluX(245), 20);

    takeOptions();
    session_.open();
    // Ticked at the poll rate: the reads move on no faster than the controller's ticks.
    connect(&tick_, &QTimer::timeout, this, [this] { session_.onTick(); });
    tick_.start(controller_.pollInterval());
    showState();
    // The serial number is what the user types first: it names the file.
    serial_->setFocus(Qt::OtherFocusReason);
}

ReportWindow* ReportWindow::open(QWidget* parent, LinkController& controller, UserInterface& ui, ReportMemory& memory) {
    static QPointer<ReportWindow> current;
    if (!controller.timerRunning()) {
        ui.showMessage({text::kInfo, text::kNoConnectionLower});
        return nullptr;
    }
    if (!current) {
        current = new ReportWindow(parent, controller, ui, memory);
        current->show();
    }
    current->raise();
    current->activateWindow();
    return current;
}

QCheckBox* ReportWindow::partBox(ReportPart part) const { return boxes_[static_cast<size_t>(part)]; }

void ReportWindow::takeOptions() {
    ReportOptions o;
    for (ReportPart p : kBoxOrder) o.set(p, partBox(p)->isChecked());
    o.serialNumber = serial_->text().toStdString();
    session_.setOptions(o);
}

void ReportWindow::reportReadsChanged() { showState(); }

void ReportWindow::showState() {
    if (!ok_) return;  // still being built
    ok_->setEnabled(session_.ready());
    QString state;
    if (session_.failed())
        state = QString::fromStdString("Cannot be read: " + session_.problem());
    else if (!session_.ready() && session_.options().any())
        state = QString::fromStdString("Reading " + session_.waitingFor() + " ... " +
                                       std::to_string(session_.countdown().readsLeft()));
    status_->setText(state);
}

void ReportWindow::confirm() {
    takeOptions();
    if (!session_.ready()) return;
    // Without it the file would be named after nothing and the report not tell which unit it is.
    if (serial_->text().trimmed().isEmpty()) {
        ui_.showMessage({text::kInfo, kSerialNeeded});
        serial_->setFocus(Qt::OtherFocusReason);
        return;
    }
    memory_.serialNumber = session_.options().serialNumber;
    // The next report is proposed in the folder of the last one.
    std::string proposed = session_.proposedFileName();
    if (!memory_.lastPath.empty())
        proposed = QFileInfo(QString::fromStdString(memory_.lastPath))
                       .dir()
                       .filePath(QString::fromStdString(proposed))
                       .toStdString();
    const std::string path = chooseFile_(this, proposed);
    if (path.empty()) {
        close();  // nothing chosen: nothing written, nothing said
        return;
    }
    const ReportFileResult r = session_.save(path);
    if (!r.written) {
        ui_.showMessage({text::kWarning, "The log file was not written.", Buttons::Ok, Icon::Warning, r.error});
        return;  // the window stays, so another file can be chosen
    }
    memory_.lastPath = path;
    char line[4096];
    std::snprintf(line, sizeof line, text::kLogFileCreated, path.c_str());
    ui_.showMessage({text::kLogFileLocation, line});
    close();
}

}  // namespace halvek::ui
