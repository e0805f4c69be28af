#pragma once

#include <QDialog>

#include "ui/capture/capture_dialogs.h"

class QPushButton;

namespace halvek::ui {

// "Save Protocol Data ( option )": the capture file's size limit and the
// button that opens or closes the capture. Modal; show it with exec().
class CaptureOptionWindow : public QDialog {
    Q_OBJECT
  public:
    CaptureOptionWindow(QWidget* parent, ProtocolCapture& capture, CaptureDialogs dialogs = CaptureDialogs::standard());
    QPushButton* fileButton() const { return fileButton_; }

  private:
    ProtocolCapture& capture_;
    CaptureDialogs dialogs_;
    QPushButton* fileButton_;
};

}  // namespace halvek::ui
