#include "ui/accessories/tool_window.h"

#include <QFont>

#include "ui/main/dialog_font.h"
#include "ui/main/geometry.h"
#include "ui/main/held_font.h"

namespace halvek::ui {

ToolWindow::ToolWindow(QWidget* parent, const char* caption, int widthDlu, int heightDlu) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(caption);
    setFixedSize(dluX(widthDlu), dluY(heightDlu));
    // The classic dialog font is narrow: a condensed face of its size lets
    // every caption fit the box laid out for it.
    QFont f("DejaVu Sans Condensed");
    f.setPixelSize(11);
    holdLayout(this, f);
}

}  // namespace halvek::ui
