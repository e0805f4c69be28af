#include "ui/main/dialog_font.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QWidget>

namespace halvek::ui {
namespace {

constexpr double kUnitWidth = 6.0;
constexpr double kUnitHeight = 13.0;
constexpr int kLargest = 13, kSmallest = 9;

bool fits(const QFont& f) {
    const QSizeF u = baseUnits(f);
    return u.width() <= kUnitWidth && u.height() <= kUnitHeight;
}

QFont make(const QString& family, int pixels) {
    QFont f(family);
    f.setPixelSize(pixels);
    return f;
}

}  // namespace

QSizeF baseUnits(const QFont& font) {
    static const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const QFontMetricsF m(font);
    return {m.horizontalAdvance(letters) / static_cast<qreal>(letters.size()), m.height()};  // 52 letters
}

QFont dialogFont() {
    static const QFont chosen = [] {
        const QString family = QFontInfo(QApplication::font()).family();
        QStringList families{family};
        const QString condensed = family + " Condensed";
        if (QFontDatabase::families().contains(condensed)) families.append(condensed);
        for (int px = kLargest; px >= kSmallest; --px)
            for (const QString& f : families)
                if (fits(make(f, px))) return make(f, px);
        return make(families.back(), kSmallest);
    }();
    return chosen;
}

void useDialogFont(QWidget* window) {
    const QFont f = dialogFont();
    QApplication::setFont(f, "QDialog");
    window->setFont(f);
}

}  // namespace halvek::ui
