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

    // The line is the download's from here on: CONNECT waits until the window closes.
    controller_.lendLine();
    lineLent_ = true;
    controller_.setTransferHandler([this](Notification n) {
        if (n == Notification::TransferDone) session_.onTransferDone();
    });
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &FirmwareDownloadWindow::tick);
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
    giveLineBack();
    event->accept();
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

void FirmwareDownloadWindow::pressDownload() {
    if (session_.download() != DownloadSession::Start::NeedFile) return;
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
    if (path.isEmpty()) {
        session_.chooseCancelled();
        return;
    }
    session_.chooseFile(path.toStdString());
    group_->setTitle(QString::fromStdString(session_.fileCaption()));
    session_.download();
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

void FirmwareDownloadWindow::connectedShown() { connection_->setText(fwtext::kConnectedField); }

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
