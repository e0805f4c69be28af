#include "ui/main/held_font.h"

#include <QApplication>
#include <QVariant>
#include <QWidget>

namespace halvek::ui {
namespace {

constexpr const char* kOwnSheet = "halvekOwnStyleSheet";  // the widget's sheet before its font was held

// The paddings of the classic controls, which the pixel layouts were drawn for.
constexpr const char* kTightPaddings =
    "QPushButton { padding: 0px 2px; } QComboBox { padding: 0px 2px; } QHeaderView::section { padding: 0px 2px; }";

void holdSheet(QWidget* w, const QFont& f, const QString& more) {
    w->setFont(f);
    if (qApp->styleSheet().isEmpty() || f.pixelSize() <= 0) return;
    const QVariant own = w->property(kOwnSheet);
    if (!own.isValid()) w->setProperty(kOwnSheet, w->styleSheet());
    const QString base = w->property(kOwnSheet).toString();
    // The family is said too: under a style sheet a widget's own font gives way to the application's.
    w->setStyleSheet(
        base + QString("\n* { font-family: \"%1\"; font-size: %2px; }\n").arg(f.family()).arg(f.pixelSize()) + more);
}

}  // namespace

void holdFont(QWidget* w, const QFont& f) { holdSheet(w, f, {}); }

void holdLayout(QWidget* area, const QFont& f) { holdSheet(area, f, kTightPaddings); }

bool fontHeld(const QWidget* w) { return w->property(kOwnSheet).isValid(); }

}  // namespace halvek::ui
