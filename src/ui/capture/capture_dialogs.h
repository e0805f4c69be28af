#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "capture/protocol_capture.h"
#include "link/user_interface.h"

namespace halvek::ui {

// What opening a capture asks of the user: the file (empty when cancelled)
// and the message when it fails. The defaults are Qt's file dialog and a
// message box; tests put their own in.
struct CaptureDialogs {
    std::function<QString(QWidget* parent)> chooseFile;
    std::function<void(QWidget* parent, const Message& m)> say;
    static CaptureDialogs standard();
};

// Asks for the file and opens the capture; true when a capture was started.
// A path too short to name a file is ignored; a file that cannot be opened is said.
bool openCaptureWithDialog(QWidget* parent, ProtocolCapture& capture, const CaptureDialogs& dialogs);

}  // namespace halvek::ui
