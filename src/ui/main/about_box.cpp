#include "ui/main/about_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/main/program_icon.h"

namespace halvek::ui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Halvek");
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(32, 32));
    auto* version = new QLabel("Halvek Version 1.2", this);
    auto* about = new QLabel("Host controller and service tool for bank-note validators.", this);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(about);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts);
    row->addWidget(ok, 0, Qt::AlignTop);
    setLayout(row);
}

}  // namespace halvek::ui
