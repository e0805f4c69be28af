#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QWidget>

#include "ui/main/geometry.h"

// Small makers for the controls of the upper pages, placed in dialog units.
namespace halvek::ui::widgets {

// The upper pages sit beside the bill list, 248 x 70 dialog units.
inline void placeUpperPage(QWidget* page) {
    page->setGeometry(dluRect(164, 15, 248, 70));
    QFont f = page->font();
    f.setPixelSize(10);
    page->setFont(f);
}

inline QPushButton* button(QWidget* parent, const char* caption, int x, int y, int w, int h = 14) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setGeometry(dluRect(x, y, w, h));
    return b;
}

inline QGroupBox* group(QWidget* parent, const char* caption, int x, int y, int w, int h) {
    auto* g = new QGroupBox(QString::fromLatin1(caption), parent);
    g->setGeometry(dluRect(x, y, w, h));
    g->lower();
    return g;
}

inline QLabel* label(QWidget* parent, const char* text, int x, int y, int w, int h = 10) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setGeometry(dluRect(x, y, w, h));
    return l;
}

// A read-only display with a sunken frame.
inline QLabel* field(QWidget* parent, const char* text, int x, int y, int w, int h = 12) {
    QLabel* l = label(parent, text, x, y, w, h);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// A number box that takes digits only; the page checks the range when a button sends it.
inline QLineEdit* numberBox(QWidget* parent, const QString& text, int x, int y, int w, int h = 12) {
    auto* e = new QLineEdit(text, parent);
    e->setGeometry(dluRect(x, y, w, h));
    e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
    return e;
}

inline QString latin1(const std::string& s) { return QString::fromLatin1(s.c_str()); }

}  // namespace halvek::ui::widgets
