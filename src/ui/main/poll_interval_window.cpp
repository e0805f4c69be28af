#include "ui/main/poll_interval_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "link/poll_interval.h"
#include "link/texts.h"
#include "link/user_interface.h"
#include "ui/main/geometry.h"

namespace halvek::ui {

PollIntervalWindow::PollIntervalWindow(QWidget* parent, std::function<void(const Message&)> say)
    : QDialog(parent), say_(std::move(say)) {
    setWindowTitle("Poll Timer Interval ( ms )");
    setFixedSize(dluX(250), dluY(78));
    auto* group = new QGroupBox(this);
    group->setGeometry(dluRect(7, 7, 170, 64));
    group_ = group;
    auto* prompt = new QLabel("Select positive number from 100 to 3000 :", this);
    prompt->setGeometry(dluRect(14, 18, 160, 10));
    prompt_ = prompt;
    field_ = new QLineEdit(QString::number(kDefaultPollInterval), this);
    field_->setGeometry(dluRect(50, 38, 60, 13));
    field_->setAlignment(Qt::AlignCenter);
    field_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), field_));
    auto* ms = new QLabel("ms", this);
    ms->setGeometry(dluRect(114, 40, 20, 10));
    auto* ok = new QPushButton("OK", this);
    ok->setGeometry(dluRect(190, 10, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setGeometry(dluRect(190, 30, 50, 14));
    buttons_[0] = ok;
    buttons_[1] = cancel;
    connect(ok, &QPushButton::clicked, this, &PollIntervalWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void PollIntervalWindow::showEvent(QShowEvent* event) {
    // A wider font than the layout was drawn for (a theme's) widens the window
    // instead of cutting the prompt: the frame and the buttons move along.
    const int grow = prompt_->sizeHint().width() - prompt_->width();
    if (grow > 0) {
        prompt_->resize(prompt_->width() + grow, prompt_->height());
        group_->resize(group_->width() + grow, group_->height());
        for (QWidget* b : buttons_) b->move(b->x() + grow, b->y());
        setFixedSize(width() + grow, height());
    }
    QDialog::showEvent(event);
}

void PollIntervalWindow::confirm() {
    std::string complaint;
    const auto v = checkPollInterval(field_->text().toStdString(), complaint);
    if (!v) {
        say_({text::kInfo, complaint});
        field_->setFocus();
        field_->selectAll();
        return;
    }
    value_ = *v;
    accept();
}

}  // namespace halvek::ui
