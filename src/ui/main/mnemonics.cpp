#include "ui/main/mnemonics.h"

#include <QAbstractButton>
#include <QVariant>
#include <QWidget>

namespace halvek::ui {
namespace {

// The root mnemonics were last given under, with the letters taken there from
// outside it (the menus'), so a changed caption can get one among the same set.
constexpr const char* kMnemonicRoot = "halvekMnemonicRoot";

QChar mnemonicOf(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return {};
}

QList<QAbstractButton*> visibleButtons(QWidget* root) {
    QList<QAbstractButton*> out;
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (!b->isWindow() && b->window() == root->window() && b->isVisibleTo(root) && !b->text().isEmpty())
            out.append(b);
    return out;
}

QString withMnemonic(const QString& caption, QString& taken, const QString& reserved) {
    QList<int> candidates;
    for (int i = 0; i < caption.size(); ++i)  // first letters of words
        if (caption[i].isLetterOrNumber() && (i == 0 || !caption[i - 1].isLetterOrNumber())) candidates.append(i);
    for (int i = 0; i < caption.size(); ++i)  // then any letter
        if (caption[i].isLetterOrNumber() && !candidates.contains(i)) candidates.append(i);
    for (int i : candidates) {
        const QChar c = caption[i].toUpper();
        if (c.unicode() > 127 || taken.contains(c)) continue;
        taken.append(c);
        QString out = caption;
        out.insert(i, '&');
        return out;
    }
    // Every letter is taken already: share one. Alt+letter then moves between
    // the controls that share it, which still reaches each of them. A menu's
    // letter is never shared: the menu would win and the control stay out of reach.
    for (int i : candidates) {
        if (reserved.contains(caption[i].toUpper())) continue;
        QString out = caption;
        out.insert(i, '&');
        return out;
    }
    return caption;
}

}  // namespace

bool hasMnemonic(const QString& caption) { return !mnemonicOf(caption).isNull(); }

void giveMnemonics(QWidget* root, const QString& taken) {
    root->setProperty(kMnemonicRoot, taken);
    QString used = taken.toUpper();
    const auto buttons = visibleButtons(root);
    for (QAbstractButton* b : buttons)
        if (const QChar c = mnemonicOf(b->text()); !c.isNull()) used.append(c);
    for (QAbstractButton* b : buttons)
        if (!hasMnemonic(b->text()) && !b->text().contains('&'))
            b->setText(withMnemonic(b->text(), used, taken.toUpper()));
}

void setCaption(QAbstractButton* button, const QString& caption) {
    button->setText(caption);
    for (QWidget* w = button->parentWidget(); w; w = w->parentWidget()) {
        const QVariant taken = w->property(kMnemonicRoot);
        if (taken.isValid()) {
            giveMnemonics(w, taken.toString());
            return;
        }
    }
}

}  // namespace halvek::ui
