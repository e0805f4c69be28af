#include "ui/capture/capture_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace halvek::ui {

CaptureDialogs CaptureDialogs::standard() {
    CaptureDialogs d;
    d.chooseFile = [](QWidget* parent) {
        QFileDialog dialog(parent, QString(), QString(), capture::kFileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);  // a file that does not exist yet may be named
        dialog.setDefaultSuffix(capture::kDefaultExtension);
        dialog.selectFile(capture::kDefaultFileName);
        dialog.setOption(QFileDialog::ReadOnly, false);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                       : QString();
    };
    d.say = [](QWidget* parent, const Message& m) {
        QMessageBox box(m.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                        QString::fromStdString(m.title), QString::fromStdString(m.text), QMessageBox::Ok, parent);
        if (!m.detail.empty()) box.setInformativeText(QString::fromStdString(m.detail));
        box.exec();
    };
    return d;
}

bool openCaptureWithDialog(QWidget* parent, ProtocolCapture& capture, const CaptureDialogs& dialogs) {
    const std::string path = dialogs.chooseFile(parent).toStdString();
    if (!ProtocolCapture::acceptablePath(path)) return false;
    std::string reason;
    if (capture.open(path, &reason)) return true;
    dialogs.say(parent, capture::openFailedMessage(path, reason));
    return false;
}

}  // namespace halvek::ui
