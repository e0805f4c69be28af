#include "ui/accessories/accept_all_window.h"

#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "accessories/accessory_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {

AcceptAllTicker::AcceptAllTicker(QObject* parent, AcceptAllSession& session) : QObject(parent) {
    timer_.setInterval(AcceptAllSession::kTickMs);
    connect(&timer_, &QTimer::timeout, this, [&session] { session.onTick(); });
    session.setTickControl([this](bool on) {
        if (on)
            timer_.start();
        else
            timer_.stop();
    });
}

AcceptAllWindow::AcceptAllWindow(QWidget* parent, AcceptAllSession& session)
    : ToolWindow(parent, text::kAcceptAllCaption, 232, 90), session_(session) {
    (new QLabel("Click on START button to switch to \"ACCEPT ALL\"  mode", this))->setGeometry(dluRect(7, 7, 218, 15));
    (new QLabel("Set Time Period", this))->setGeometry(dluRect(17, 28, 60, 13));
    period_ = new QLineEdit(this);
    period_->setGeometry(dluRect(79, 28, 42, 13));
    period_->setAlignment(Qt::AlignCenter);
    period_->setValidator(new QIntValidator(0, AcceptAllSession::kMaxPeriod, period_));
    (new QLabel("sec", this))->setGeometry(dluRect(123, 32, 12, 8));
    start_ = new QPushButton("START", this);
    start_->setGeometry(dluRect(153, 28, 55, 14));
    auto* reset = new QPushButton("Reset cmd", this);
    reset->setGeometry(dluRect(153, 46, 56, 14));
    (new QLabel("Time Left: ", this))->setGeometry(dluRect(17, 50, 60, 13));
    timeLeft_ = new QLabel("0", this);
    timeLeft_->setGeometry(dluRect(79, 50, 41, 13));
    timeLeft_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    timeLeft_->setAlignment(Qt::AlignCenter);
    (new QLabel("sec", this))->setGeometry(dluRect(124, 52, 12, 8));
    mode_ = new QLabel(this);
    mode_->setGeometry(dluRect(7, 69, 136, 14));
    auto* close = new QPushButton("Close Window", this);
    close->setGeometry(dluRect(153, 66, 56, 14));
    close->setDefault(true);

    connect(period_, &QLineEdit::textEdited, this,
            [this](const QString& t) { session_.setPeriodText(t.toStdString()); });
    connect(start_, &QPushButton::clicked, this, [this] {
        if (!session_.start() && !session_.periodRefusal().empty()) {
            period_->setFocus();
            period_->selectAll();
        }
    });
    connect(reset, &QPushButton::clicked, this, [this] { session_.reset(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    session_.setListener(this);
    session_.open();
}

AcceptAllWindow::~AcceptAllWindow() { session_.setListener(nullptr); }

void AcceptAllWindow::acceptAllChanged() {
    const bool running = session_.running();
    // A refused text stays as typed, for START to refuse too.
    if (session_.periodRefusal().empty() && period_->text() != QString::number(session_.period()) &&
        !period_->hasFocus())
        period_->setText(QString::number(session_.period()));
    timeLeft_->setText(QString::number(session_.timeLeft()));
    mode_->setText(session_.modeText());
    start_->setEnabled(!running);
    period_->setEnabled(!running);
}

}  // namespace halvek::ui
