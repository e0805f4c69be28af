#include "ui/firmware/firmware_upload_window.h"

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

QString formatted(const char* format, const std::string& value) {
    return QString::fromUtf8(format).replace("%s", QString::fromStdString(value));
}

}  // namespace

FirmwareUploadWindow::FirmwareUploadWindow(QWidget* parent, LinkController& controller, UserInterface& ui)
    : ToolWindow(parent, fwtext::kUploadCaption, 300, 101),
      controller_(controller),
      ui_(ui),
      link_(controller, ui),
      session_(controller.block(), link_, *this),
      revision_(controller.stores().identity.revision.data()) {
    group_ = new QGroupBox(formatted(fwtext::kSuggestedNameFormat, revision_), this);
    group_->setGeometry(dluRect(7, 7, 286, 87));
    status_ = new QLabel(fwtext::kUploadReady, this);
    status_->setGeometry(dluRect(17, 22, 266, 13));
    status_->setAlignment(Qt::AlignCenter);
    packetLine_ = new QGroupBox(this);
    packetLine_->setGeometry(dluRect(17, 43, 188, 40));
    progress_ = new QProgressBar(this);
    progress_->setGeometry(dluRect(26, 59, 170, 13));
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    start_ = new QPushButton(fwtext::kStartUploadButton, this);
    start_->setGeometry(dluRect(220, 48, 60, 14));
    start_->setDefault(true);
    auto* exit = new QPushButton(fwtext::kUploadExitButton, this);
    exit->setGeometry(dluRect(220, 67, 60, 14));
    connect(start_, &QPushButton::clicked, this, &FirmwareUploadWindow::pressStart);
    // Exit stays usable throughout: it is the way out of an upload the unit stopped.
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    controller_.setTransferHandler([this](Notification n) {
        if (n == Notification::BlockReady) session_.onBlockReady();
    });
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.onTick(); });
    timer_.start();
}

FirmwareUploadWindow::~FirmwareUploadWindow() { stop(); }

QString FirmwareUploadWindow::statusText() const { return status_->text(); }
QString FirmwareUploadWindow::packetLineText() const { return packetLine_->title(); }

void FirmwareUploadWindow::stop() {
    if (stopped_) return;
    stopped_ = true;
    timer_.stop();
    session_.exit();
    controller_.setTransferHandler({});
}

void FirmwareUploadWindow::closeEvent(QCloseEvent* event) {
    stop();
    event->accept();
}

void FirmwareUploadWindow::pressStart() {
    if (session_.active()) return;
    const QString initial = formatted(fwtext::kUploadInitialNameFormat, revision_);
    QString path;
    if (chooser_) {
        path = chooser_();
    } else {
        // The upload writes the file: a save dialog, which asks before replacing one.
        QFileDialog dialog(this, fwtext::kUploadDialogTitle, QString(), fwtext::kFileDialogFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("L8F");
        dialog.selectFile(initial);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        path = dialog.selectedFiles().first();
    }
    if (path.isNull()) return;  // cancelled: nothing happens
    session_.start(path.toStdString());
}

void FirmwareUploadWindow::groupCaptionShown(const std::string& text) {
    group_->setTitle(QString::fromStdString(text));
}

void FirmwareUploadWindow::statusShown(const std::string& text) { status_->setText(QString::fromStdString(text)); }

void FirmwareUploadWindow::packetLineShown(const std::string& text) {
    packetLine_->setTitle(QString::fromStdString(text));
}

void FirmwareUploadWindow::progressShown(uint32_t done, uint32_t total) {
    progress_->setRange(0, static_cast<int>(total ? total : 1));
    progress_->setValue(static_cast<int>(done));
}

void FirmwareUploadWindow::buttonsEnabled(bool on) { start_->setEnabled(on); }

void FirmwareUploadWindow::finished(const std::string& path, uint32_t crc32) {
    // Called on the packet path: the window closes and says so once the
    // delivery has returned. The box names the file and its checksum, which
    // the CRC page and the unit's program checksum can be held against.
    QTimer::singleShot(0, this, [this, path, crc32] {
        UserInterface& ui = ui_;
        close();
        ui.showMessage(
            {"Halvek", fwtext::kUploadFinishedBox, Buttons::Ok, Icon::None, uploadedFileDetail(path, crc32)});
    });
}

}  // namespace halvek::ui
