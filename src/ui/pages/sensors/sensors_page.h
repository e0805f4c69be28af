#pragma once

#include <QPainter>
#include <QWidget>

#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The Sensors page's strip: one button that asks for the sensor data.
class SensorsStrip : public QWidget {
    Q_OBJECT
  public:
    SensorsStrip(QWidget* parent, PageContext& context);
    QPushButton* readButton() const { return read_; }

  private:
    QPushButton* read_;
};

QWidget* makeSensorsControls(QWidget* client, PageContext& context);
void paintSensors(QPainter& painter, PageContext& context);

}  // namespace halvek::ui
