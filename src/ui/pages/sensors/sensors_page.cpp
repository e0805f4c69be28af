#include "ui/pages/sensors/sensors_page.h"

#include <QPushButton>

#include "pages/sensors/sensors_view.h"
#include "ui/main/geometry.h"
#include "ui/pages/common/panel_painter.h"

namespace halvek::ui {

SensorsStrip::SensorsStrip(QWidget* parent, PageContext& c) : QWidget(parent) {
    setGeometry(dluRect(10, 234, 220, 17));
    read_ = new QPushButton("Read sensors", this);
    read_->setGeometry(dluRect(0, 1, 60, 14));
    LinkController& link = c.link;
    connect(read_, &QPushButton::clicked, this, [&link] { link.requestSensorData(); });
}

QWidget* makeSensorsControls(QWidget* client, PageContext& c) { return new SensorsStrip(client, c); }

void paintSensors(QPainter& p, PageContext& c) {
    paintPanel(p, sensorsView(c.stores.sensors, c.link.diagnosticsAvailable()).drawing);
}

}  // namespace halvek::ui
