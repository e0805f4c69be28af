#pragma once

#include <QWidget>

namespace halvek {
class LinkController;
}

namespace halvek::ui {

// The buttons below the drawing area while the Command-Status page is shown.
class CommandStatusStrip : public QWidget {
    Q_OBJECT
  public:
    CommandStatusStrip(QWidget* parent, LinkController& controller);
};

}  // namespace halvek::ui
