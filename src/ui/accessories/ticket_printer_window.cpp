#include "ui/accessories/ticket_printer_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "accessories/accessory_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {

TicketPrinterWindow::TicketPrinterWindow(QWidget* parent, TicketPrinterSession& session)
    : ToolWindow(parent, text::kPrinterCaption, 268, 126), session_(session) {
    (new QGroupBox("PRINTER  PORT", this))->setGeometry(dluRect(7, 7, 104, 74));
    const int rows[] = {22, 35, 48, 62};
    for (int i = 0; i < TicketPrinterSession::kPorts; ++i) {
        ports_[static_cast<size_t>(i)] = new QRadioButton(QString("COM %1").arg(i + 1), this);
        ports_[static_cast<size_t>(i)]->setGeometry(dluRect(31, rows[i], 38, 10));
        ports_[static_cast<size_t>(i)]->setToolTip(QString::fromStdString(session_.portPathFor(i)));
        connect(ports_[static_cast<size_t>(i)], &QRadioButton::clicked, this, [this, i] { session_.setPortIndex(i); });
    }
    hint_ = new QGroupBox(this);
    hint_->setGeometry(dluRect(7, 84, 103, 35));
    open_ = new QPushButton(this);
    open_->setCheckable(true);
    open_->setGeometry(dluRect(30, 97, 57, 15));
    (new QGroupBox("PRINT BAR CODE:", this))->setGeometry(dluRect(119, 7, 142, 74));
    (new QLabel("Enter up to 24 digit number:", this))->setGeometry(dluRect(140, 22, 113, 11));
    digits_ = new QLineEdit(this);
    digits_->setGeometry(dluRect(140, 35, 100, 14));
    digits_->setMaxLength(static_cast<int>(TicketPrinterSession::kMaxDigits));
    print_ = new QPushButton("Print", this);
    print_->setGeometry(dluRect(164, 58, 56, 14));
    auto* close = new QPushButton("Close Window", this);
    close->setGeometry(dluRect(164, 95, 56, 14));
    close->setDefault(true);
    // Where write failures are shown; the event list has them too.
    problem_ = new QLabel(this);
    problem_->setGeometry(dluRect(119, 82, 142, 11));
    // A red that reads on the window's own background, light or dark.
    QPalette red = problem_->palette();
    red.setColor(QPalette::WindowText,
                 red.color(QPalette::Window).lightness() < 128 ? QColor(255, 128, 128) : QColor(176, 0, 0));
    problem_->setPalette(red);

    connect(open_, &QPushButton::clicked, this, [this] {
        session_.togglePort();
        printerChanged();
    });
    connect(print_, &QPushButton::clicked, this, [this] {
        problem_->clear();
        session_.print(digits_->text().toStdString());
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    session_.setListener(this);
    printerChanged();
}

TicketPrinterWindow::~TicketPrinterWindow() { session_.setListener(nullptr); }

void TicketPrinterWindow::printerChanged() {
    const bool open = session_.isOpen();
    open_->setChecked(open);
    open_->setText(open ? text::kClosePort : text::kOpenPort);
    hint_->setTitle(open ? text::kHintClosePort : text::kHintOpenPort);
    for (size_t i = 0; i < ports_.size(); ++i) {
        ports_[i]->setChecked(static_cast<int>(i) == session_.portIndex());
        ports_[i]->setEnabled(!open);
    }
    digits_->setEnabled(open);
    print_->setEnabled(open);
}

void TicketPrinterWindow::printFailed(const std::string& text, const std::string& reason) {
    // The line has room for the start of the text; the whole of it and the reason are in the tip.
    const QString whole = QString::fromStdString(text);
    problem_->setText(problem_->fontMetrics().elidedText(whole, Qt::ElideRight, problem_->width()));
    problem_->setToolTip(whole + "\n" + QString::fromStdString(reason));
}

}  // namespace halvek::ui
