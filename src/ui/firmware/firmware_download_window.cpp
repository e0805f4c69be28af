#include "ui/firmware/firmware_download_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "firmware/firmware_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

constexpr const char* kLeftInLoader =
    "The validator waits in its download loader and does not run its program. "
    "Switch it off and on again (download switches off), then press CONNECT.";

QLabel* sunkenLine(QWidget* parent, const char* text, QRect at) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(at);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

}  // namespace

FirmwareDownloadWindow::FirmwareDownloadWindow(QWidget* parent, LinkController& controller, UserInterface& ui)
    : ToolWindow(parent, fwtext::kDownloadCaption, 296, 99),
      controller_(controller),
      ui_(ui),
      link_(controller, ui),
      port_(controller.block(), controller.portPath()),
      session_(controller.block(), port_, link_, *this),
      check_(controller) {
    group_ = new QGroupBox(fwtext::kNoFileGroup, this);
    group_->setGeometry(dluRect(3, 1, 290, 81));
    instruction_ = sunkenLine(this, fwtext::kMessagesInitial, dluRect(20, 15, 256, 14));
    progress_ = new QProgressBar(this);
    progress_->setGeometry(dluRect(20, 38, 192, 13));
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    state_ = sunkenLine(this, fwtext::kStateInitial, dluRect(20, 59, 192, 12));
    download_ = new QPushButton(fwtext::kDownloadButton, this);
    download_->setGeometry(dluRect(222, 36, 54, 14));
    auto* exit = new QPushButton(fwtext::kExitButton, this);
    exit->setGeometry(dluRect(222, 58, 54, 14));
    connection_ = sunkenLine(this, fwtext::kNoConnectionField, dluRect(214, 85, 79, 12));
    connect(download_, &QPushButton::clicked, this, &FirmwareDownloadWindow::pressDownload);
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &FirmwareDownloadWindow::tick);
    // A unit that answers is told "Download Firmware" only once a file that
    // passed its checks has been chosen: that command leaves it in its loader,
    // out of service, until it is loaded or powered off and on. A unit that
    // does not answer is looked for in its loader at once, which changes nothing.
    if (controller_.linkConnected()) {
        waitingForFile_ = true;
        statusShown(DownloadStatus::Ready, fwtext::kReadyInstruction, fwtext::kReadyState);
        download_->setEnabled(true);
    } else {
        takeLine();
    }
}

void FirmwareDownloadWindow::takeLine() {
    // The line is the download's from here on: CONNECT waits until the window closes.
    controller_.lendLine();
    lineLent_ = true;
    controller_.setTransferHandler([this](Notification n) {
        if (n == Notification::TransferDone) session_.onTransferDone();
    });
    session_.open();
    timer_.start();
}

FirmwareDownloadWindow::~FirmwareDownloadWindow() { giveLineBack(); }

QString FirmwareDownloadWindow::instructionText() const { return instruction_->text(); }
QString FirmwareDownloadWindow::stateText() const { return state_->text(); }

void FirmwareDownloadWindow::giveLineBack() {
    timer_.stop();
    verifying_ = false;
    if (!lineLent_) return;
    lineLent_ = false;
    session_.exit();
    controller_.setTransferHandler({});
    controller_.returnLine();
}

void FirmwareDownloadWindow::closeEvent(QCloseEvent* event) {
    // Told "Download Firmware", the unit stays in its loader until a download
    // ends and it runs the new program, or until it is powered off and on.
    const bool leftInLoader = lineLent_ && session_.unitWasAnswering() &&
                              !(session_.status() == DownloadStatus::Finished && !session_.running());
    giveLineBack();
    event->accept();
    if (leftInLoader) ui_.showMessage({fwtext::kInfo, kLeftInLoader});
}

void FirmwareDownloadWindow::tick() {
    if (verifying_) {
        check_.onTick();
        if (!check_.finished()) return;
        verifying_ = false;
        timer_.stop();
        showVerification();
        return;
    }
    if (!lineLent_) return;
    session_.onTick();
    if (!session_.timerRunning()) timer_.stop();
}

QString FirmwareDownloadWindow::chooseFile() {
    QString path;
    if (chooser_) {
        path = chooser_();
    } else {
        QFileDialog dialog(this, QString(), QString(), fwtext::kFileDialogFilter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix("L8F");
        dialog.selectFile(fwtext::kFileDialogInitial);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().first();
    }
    return path;
}

void FirmwareDownloadWindow::pressDownload() {
    if (waitingForFile_) return chooseBeforeTakingLine();
    if (session_.download() != DownloadSession::Start::NeedFile) return;
    const QString path = chooseFile();
    if (path.isEmpty()) {
        session_.chooseCancelled();
        return;
    }
    session_.chooseFile(path.toStdString());
    group_->setTitle(QString::fromStdString(session_.fileCaption()));
    session_.download();
}

void FirmwareDownloadWindow::chooseBeforeTakingLine() {
    const QString path = chooseFile();
    if (path.isEmpty()) {
        statusShown(DownloadStatus::Ready, fwtext::kReadyInstruction, fwtext::kReadyState);
        return;
    }
    // The whole file is checked while the unit still runs its program: a file
    // refused here leaves the unit as it was.
    FirmwareFile file;
    const FirmwareFileFault fault = readFirmwareFile(path.toStdString(), file);
    if (!fault.ok) {
        ui_.showMessage({fwtext::kInfo, fault.message()});
        return;
    }
    waitingForFile_ = false;
    startWhenConnected_ = true;
    takeLine();
    session_.chooseFile(path.toStdString());
    group_->setTitle(QString::fromStdString(session_.fileCaption()));
}

void FirmwareDownloadWindow::verify() {
    // The unit runs its new program now: ask it for the program's checksum.
    giveLineBack();
    check_.start();
    if (check_.finished()) return showVerification();
    verifying_ = true;
    timer_.start();
}

void FirmwareDownloadWindow::showVerification() {
    std::optional<uint32_t> crc;
    if (check_.state() == ProgramCrcCheck::State::Done) crc = check_.crc32();
    session_.showVerification(crc, controller_.linkConnected());
}

void FirmwareDownloadWindow::statusShown(DownloadStatus status, const std::string& instruction,
                                         const std::string& state) {
    instruction_->setText(QString::fromStdString(instruction));
    state_->setText(QString::fromStdString(state));
    // Verified only where the unit was answering: a unit powered up in its
    // loader stays there until it is powered up again. Not from inside the
    // session's own delivery: the line is given back once it has returned.
    if (status == DownloadStatus::Finished && session_.unitWasAnswering() && lineLent_ && !verifying_)
        QTimer::singleShot(0, this, [this] {
            if (lineLent_) verify();
        });
}

void FirmwareDownloadWindow::connectedShown() {
    connection_->setText(fwtext::kConnectedField);
    if (!startWhenConnected_) return;
    // The file was chosen before the loader was reached: the download goes on by itself.
    startWhenConnected_ = false;
    QTimer::singleShot(0, this, [this] {
        if (lineLent_ && !session_.running()) session_.download();
    });
}

void FirmwareDownloadWindow::downloadEnabled(bool on) { download_->setEnabled(on); }

void FirmwareDownloadWindow::progressShown(uint32_t done, uint32_t total) {
    progress_->setRange(0, static_cast<int>(total ? total : 1));
    progress_->setValue(static_cast<int>(done));
}

void FirmwareDownloadWindow::messageShown(const std::string& title, const std::string& text) {
    // Shown once the reader's delivery has returned: a box must not hold the line.
    QTimer::singleShot(0, this, [this, title, text] { ui_.showMessage({title, text}); });
}

}  // namespace halvek::ui
