#include "ui/main/doctor_dialog.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "serial/port_doctor.h"

namespace halvek::ui {

DoctorDialog::DoctorDialog(QWidget* parent, std::vector<std::string> ports, std::string root)
    : QDialog(parent), ports_(std::move(ports)), root_(std::move(root)) {
    setWindowTitle("Serial Port Check");
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The report's columns line up only in a fixed-pitch face, whatever font the
    // theme gives the rest of the window (a style sheet's font is overruled too).
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    text_->setFont(fixed);
    text_->setStyleSheet(QString("QPlainTextEdit { font-family: \"%1\", monospace; }").arg(fixed.family()));
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
    checkAgain();
    fitToReport();
}

void DoctorDialog::fitToReport() {
    // As wide and as tall as the report, but never past the screen: beyond
    // that the report scrolls and the buttons stay in reach. Measured in the
    // font a theme's style sheet gives it, which comes at polishing.
    text_->ensurePolished();
    const QFontMetrics fm(text_->font());
    int widest = 0;
    const QStringList lines = reportText().split('\n');
    for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
    const QMargins m = layout()->contentsMargins();
    const int frame = 2 * text_->frameWidth() + 2 * static_cast<int>(text_->document()->documentMargin()) +
                      text_->verticalScrollBar()->sizeHint().width();
    QSize want(widest + frame + m.left() + m.right(), fm.lineSpacing() * (static_cast<int>(lines.size()) + 1) + frame +
                                                          m.top() + m.bottom() + layout()->spacing() + 40);
    want = want.expandedTo(QSize(480, 200));
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        want = want.boundedTo(room);
        setMaximumSize(screen->availableGeometry().size());
    }
    resize(want);
}

QString DoctorDialog::reportText() const { return text_->toPlainText(); }

void DoctorDialog::checkAgain() {
    text_->setPlainText(QString::fromStdString(formatDoctorReport(runDoctor(ports_, root_))));
}

}  // namespace halvek::ui
