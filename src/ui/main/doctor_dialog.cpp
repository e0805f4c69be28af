#include "ui/main/doctor_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "serial/port_doctor.h"

namespace halvek::ui {

DoctorDialog::DoctorDialog(QWidget* parent, std::vector<std::string> ports, std::string root)
    : QDialog(parent), ports_(std::move(ports)), root_(std::move(root)) {
    setWindowTitle("Serial Port Check");
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* again = new QPushButton("Check again", this);
    auto* close = new QPushButton("Close", this);
    close->setDefault(true);
    connect(again, &QPushButton::clicked, this, &DoctorDialog::checkAgain);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(again);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    resize(900, 300);
    checkAgain();
}

QString DoctorDialog::reportText() const { return text_->toPlainText(); }

void DoctorDialog::checkAgain() {
    text_->setPlainText(QString::fromStdString(formatDoctorReport(runDoctor(ports_, root_))));
}

}  // namespace halvek::ui
