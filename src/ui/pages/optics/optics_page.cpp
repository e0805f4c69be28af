#include "ui/pages/optics/optics_page.h"

#include <QButtonGroup>
#include <QPushButton>

#include "link/lower_page_actions.h"
#include "pages/optics/optics_view.h"
#include "ui/main/geometry.h"
#include "ui/pages/common/panel_painter.h"

namespace halvek::ui {

OpticsStrip::OpticsStrip(QWidget* parent, PageContext& c) : QWidget(parent) {
    setGeometry(dluRect(10, 234, 220, 17));
    read_ = new QPushButton("Read Data", this);
    read_->setGeometry(dluRect(0, 1, 50, 14));
    LinkController& link = c.link;
    connect(read_, &QPushButton::clicked, this, [&link] { readOptics(link); });
    // Push-like radio buttons: one light at a time, the one chosen last still chosen.
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (int colour = 0; colour < kOpticsColours; ++colour) {
        auto* b = new QPushButton(optics_text::kColourNames[static_cast<size_t>(colour)], this);
        b->setGeometry(dluRect(60 + 37 * colour, 1, 35, 14));
        b->setCheckable(true);
        b->setChecked(colour == c.stores.optics.colour);
        group->addButton(b, colour);
        colours_[static_cast<size_t>(colour)] = b;
    }
    connect(group, &QButtonGroup::idClicked, this, [&link](int colour) { selectOpticsColour(link, colour); });
}

QWidget* makeOpticsControls(QWidget* client, PageContext& c) { return new OpticsStrip(client, c); }

void paintOptics(QPainter& p, PageContext& c) {
    paintPanel(p, opticsView(c.stores.optics, c.stores.sensors.l8v).drawing);
}

}  // namespace halvek::ui
