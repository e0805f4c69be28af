#include "ui/pages/crc/crc_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "firmware/crc_test/crc_texts.h"
#include "link/link_controller.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

QLabel* resultField(QWidget* parent, int x, int y, int w, int h) {
    auto* l = new QLabel(parent);
    l->setGeometry(dluRect(x, y, w, h));
    l->setAlignment(Qt::AlignCenter);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

QLineEdit* seedBox(QWidget* parent, int x, Qt::Alignment align) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(dluRect(x, 12, 30, 12));
    e->setMaxLength(4);
    e->setAlignment(align);
    // Typing turns into upper case as the box always did; the seed check judges the rest.
    QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& t) {
        const int pos = e->cursorPosition();
        e->setText(t.toUpper());
        e->setCursorPosition(pos);
    });
    return e;
}

}  // namespace

CrcPage::CrcPage(QWidget* parent, LinkController& controller, Stores& stores, FileChooser chooseFile, Say say)
    : QWidget(parent),
      session_(
          stores.crc, [&controller](uint8_t code) { controller.request(code); }, this),
      chooseFile_(std::move(chooseFile)),
      say_(std::move(say)) {
    if (!chooseFile_) {
        chooseFile_ = [](QWidget* p) {
            return QFileDialog::getOpenFileName(p, QString(), crctext::kFileDefault, crctext::kFileFilter);
        };
    }
    if (!say_) {
        say_ = [](QWidget* p, const Message& m) {
            QMessageBox box(m.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                            QString::fromStdString(m.title), QString::fromStdString(m.text), QMessageBox::Ok, p);
            if (!m.detail.empty()) box.setInformativeText(QString::fromStdString(m.detail));
            box.exec();
        };
    }
    resize(dluX(248), dluY(70));
    auto* seedLabel = new QLabel(crctext::kSeedLabel, this);
    seedLabel->setGeometry(dluRect(6, 3, 57, 8));
    highSeed_ = seedBox(this, 3, Qt::AlignRight);
    lowSeed_ = seedBox(this, 32, Qt::AlignLeft);
    for (QLineEdit* box : {lowSeed_, highSeed_}) {
        connect(box, &QLineEdit::textEdited, this,
                [this] { session_.setSeedTexts(lowSeed_->text().toStdString(), highSeed_->text().toStdString()); });
    }
    const int radioY[] = {28, 41, 54};
    for (size_t i = 0; i < algorithms_.size(); ++i) {
        algorithms_[i] = new QRadioButton(kCrcAlgorithms[i].caption, this);
        algorithms_[i]->setGeometry(dluRect(8, radioY[i], 43, 10));
        connect(algorithms_[i], &QRadioButton::clicked, this,
                [this, i] { session_.setAlgorithm(kCrcAlgorithms[i].algorithm); });
    }
    auto* group = new QGroupBox(crctext::kGroup, this);
    group->setGeometry(dluRect(66, 2, 180, 43));
    group->lower();
    programCrc_ = resultField(this, 79, 11, 42, 12);
    revision_ = resultField(this, 121, 11, 62, 12);
    revision_->setText(QString::fromLatin1(stores.identity.revision.data()));
    programBox_ = new QCheckBox(crctext::kProgramBox, this);
    programBox_->setGeometry(dluRect(183, 11, 50, 12));
    connect(programBox_, &QCheckBox::clicked, this, [this](bool on) { session_.setProgramBox(on); });
    fileCrc_ = resultField(this, 79, 27, 42, 12);
    fileName_ = resultField(this, 121, 27, 62, 12);
    fileBox_ = new QCheckBox(crctext::kFileBox, this);
    fileBox_->setGeometry(dluRect(183, 27, 50, 12));
    connect(fileBox_, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            session_.chooseFile(chooseFile_(this).toStdString());
        else
            session_.uncheckFileBox();
    });
    status_ = resultField(this, 70, 48, 111, 14);
    run_ = new QPushButton(crctext::kRun, this);
    run_->setGeometry(dluRect(186, 48, 50, 14));
    connect(run_, &QPushButton::clicked, this, [this] {
        session_.setSeedTexts(lowSeed_->text().toStdString(), highSeed_->text().toStdString());
        session_.run();
    });
    timer_.setInterval(CrcTestSession::kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.onTick(); });
    crcTestChanged();
}

void CrcPage::crcTestChanged() {
    const CrcTestSession::Fields& f = session_.fields();
    for (size_t i = 0; i < algorithms_.size(); ++i) {
        algorithms_[i]->setChecked(static_cast<size_t>(f.algorithm) == i);
        algorithms_[i]->setEnabled(f.controlsEnabled);
    }
    // Only a changed text is put back, so typing keeps its place.
    for (auto [box, text] : {std::pair{lowSeed_, &f.lowSeed}, std::pair{highSeed_, &f.highSeed}}) {
        if (box->text().toStdString() != *text) box->setText(QString::fromStdString(*text));
    }
    highSeed_->setEnabled(f.highSeedEnabled());
    programCrc_->setText(QString::fromStdString(f.programCrc));
    fileCrc_->setText(QString::fromStdString(f.fileCrc));
    fileName_->setText(QString::fromStdString(f.fileName));
    status_->setText(QString::fromStdString(f.status));
    programBox_->setChecked(f.programBox);
    fileBox_->setChecked(f.fileBox);
    programBox_->setEnabled(f.controlsEnabled);
    fileBox_->setEnabled(f.controlsEnabled);
    run_->setEnabled(f.controlsEnabled);
    if (session_.wantsTicks() && !timer_.isActive()) timer_.start();
    if (!session_.wantsTicks()) timer_.stop();
}

void CrcPage::crcTestMessage(const Message& m) { say_(this, m); }

QWidget* createCrcPage(QWidget* parent, LinkController& controller, Stores& stores) {
    return new CrcPage(parent, controller, stores);
}

}  // namespace halvek::ui
