#pragma once

#include <QDialog>

namespace halvek::ui {

// A modeless tool window without a close box; "Close Window" closes it and it
// is deleted then. The main window keeps a QPointer to it, which clears itself.
class ToolWindow : public QDialog {
    Q_OBJECT
  public:
    ToolWindow(QWidget* parent, const char* caption, int widthDlu, int heightDlu);
};

}  // namespace halvek::ui
