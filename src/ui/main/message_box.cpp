#include "ui/main/message_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

namespace halvek::ui {
namespace {

QString q(const std::string& s) { return QString::fromLatin1(s.c_str()); }

// Widens the detail's label to its text, up to most of the screen.
void widenDetail(QMessageBox& box) {
    auto* detail = box.findChild<QLabel*>("qt_msgbox_informativelabel");
    if (!detail) return;
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 4 / 5 : 1000;
    const int wanted = detail->fontMetrics().horizontalAdvance(detail->text()) + 8;
    if (wanted <= room) {
        detail->setWordWrap(false);
        detail->setMinimumWidth(wanted);
    } else {
        detail->setMinimumWidth(room);
    }
}

}  // namespace

Answer runMessageBox(QWidget* parent, const Message& m) {
    QMessageBox box(m.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, q(m.title), q(m.text),
                    QMessageBox::NoButton, parent);
    switch (m.buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    if (!m.detail.empty()) {
        box.setInformativeText(q(m.detail));
        widenDetail(box);
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Ok;
    }
}

}  // namespace halvek::ui
