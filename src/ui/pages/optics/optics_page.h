#pragma once

#include <QPainter>
#include <QWidget>
#include <array>

#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The Main optics page's strip: read the optics data, and choose the light
// whose values the table shows.
class OpticsStrip : public QWidget {
    Q_OBJECT
  public:
    OpticsStrip(QWidget* parent, PageContext& context);
    QPushButton* readButton() const { return read_; }
    QPushButton* colourButton(int colour) const { return colours_[static_cast<size_t>(colour)]; }

  private:
    QPushButton* read_;
    std::array<QPushButton*, 4> colours_{};
};

QWidget* makeOpticsControls(QWidget* client, PageContext& context);
void paintOptics(QPainter& painter, PageContext& context);

}  // namespace halvek::ui
