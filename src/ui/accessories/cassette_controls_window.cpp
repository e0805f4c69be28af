#include "ui/accessories/cassette_controls_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "accessories/accessory_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {

CassetteControlsWindow::CassetteControlsWindow(QWidget* parent, CassetteControlsSession& session)
    : ToolWindow(parent, text::kCassetteControlsCaption, 220, 80), session_(session) {
    (new QGroupBox(this))->setGeometry(dluRect(2, 2, 216, 76));
    (new QLabel("Sensor state: ", this))->setGeometry(dluRect(15, 15, 46, 8));
    sensor_ = new QLabel(this);
    sensor_->setGeometry(dluRect(15, 28, 55, 12));
    sensor_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    (new QLabel("Cassette :", this))->setGeometry(dluRect(80, 15, 43, 8));
    cassette_ = new QLabel(this);
    cassette_->setGeometry(dluRect(80, 28, 55, 12));
    cassette_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* read = new QPushButton("Read Sensor", this);
    read->setGeometry(dluRect(15, 50, 55, 14));
    auto* cycle = new QPushButton("Cycle Cassette", this);
    cycle->setGeometry(dluRect(80, 50, 55, 14));
    auto* close = new QPushButton("Close Window", this);
    close->setGeometry(dluRect(150, 50, 55, 14));
    close->setDefault(true);
    connect(read, &QPushButton::clicked, this, [this] { session_.readSensor(); });
    connect(cycle, &QPushButton::clicked, this, [this] { session_.cycleCassette(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    session_.setListener(this);
}

CassetteControlsWindow::~CassetteControlsWindow() { session_.setListener(nullptr); }

void CassetteControlsWindow::cassetteControlsChanged() {
    sensor_->setText(QString::fromStdString(session_.sensorText()));
    cassette_->setText(QString::fromStdString(session_.cassetteText()));
}

}  // namespace halvek::ui
