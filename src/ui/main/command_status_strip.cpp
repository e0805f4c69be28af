#include "ui/main/command_status_strip.h"

#include <QPushButton>

#include "link/link_controller.h"
#include "ui/main/geometry.h"

namespace halvek::ui {

CommandStatusStrip::CommandStatusStrip(QWidget* parent, LinkController& controller) : QWidget(parent) {
    setGeometry(dluRect(10, 234, 220, 17));
    auto* enable = new QPushButton("Enable All Bills", this);
    enable->setGeometry(dluRect(0, 1, 70, 14));
    auto* disable = new QPushButton("Disable All Bills", this);
    disable->setGeometry(dluRect(80, 1, 70, 14));
    connect(enable, &QPushButton::clicked, this, [&controller] { controller.enableAllBills(true); });
    connect(disable, &QPushButton::clicked, this, [&controller] { controller.enableAllBills(false); });
}

}  // namespace halvek::ui
