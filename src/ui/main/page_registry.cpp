#include "ui/main/page_registry.h"

#include "ui/main/command_status_painter.h"
#include "ui/main/command_status_strip.h"
#include "ui/main/geometry.h"
#include "ui/pages/crc/crc_page.h"
#include "ui/pages/view_data/view_data_painter.h"
#include "ui/pages/view_data/view_data_strip.h"

namespace halvek::ui {
namespace {

QWidget* commandStatusControls(QWidget* client, PageContext& c) { return new CommandStatusStrip(client, c.link); }
void commandStatusPaint(QPainter& p, PageContext& c) { paintCommandStatus(p, c.stores, c.link.currentState()); }

QWidget* viewDataControls(QWidget* client, PageContext& c) {
    return new ViewDataStrip(client, c.viewData, c.capture, c.repaint);
}
void viewDataPaint(QPainter& p, PageContext& c) {
    c.viewData.update(c.link.block().captureList, c.link.extendedMode());
    paintViewData(p, c.viewData);
}

QWidget* crcControls(QWidget* client, PageContext& c) {
    QWidget* page = createCrcPage(client, c.link, c.stores);
    page->move(dluX(164), dluY(15));
    return page;
}

// Pages still to come show an empty area in their place.
template <TabRow Row>
QWidget* pending(QWidget* client, PageContext&) {
    return emptyControls(client, Row);
}
constexpr auto lowerPending = pending<TabRow::Lower>;
constexpr auto upperPending = pending<TabRow::Upper>;

constexpr TabRow L = TabRow::Lower, U = TabRow::Upper;

const PageEntry kPages[] = {
    {L, page::CommandStatus, "Command - Status", commandStatusControls, commandStatusPaint},
    {L, page::Statistics, "Statistics", lowerPending, nullptr},
    {L, page::Sensors, "Sensors", lowerPending, nullptr},
    {L, page::MainOptics, "Main Optics", lowerPending, nullptr},
    {L, page::VideoTest, "Video Test", lowerPending, nullptr},
    {L, page::ViewData, "View Data", viewDataControls, viewDataPaint},
    {L, page::QuickTest, "QUICK TEST", lowerPending, nullptr},
    {U, page::Setup, "Setup", upperPending, nullptr},
    {U, page::RevId, "Rev-Id", upperPending, nullptr},
    {U, page::Escrow, "Escrow", upperPending, nullptr},
    {U, page::Counters, "Counters", upperPending, nullptr},
    {U, page::Crc, "CRC", crcControls, nullptr},
    {U, page::Factory, "Factory", upperPending, nullptr},
    {U, page::Rtc, "RTC", upperPending, nullptr},
    {U, page::Vla, "VLA", upperPending, nullptr},
};

}  // namespace

std::span<const PageEntry> pageRegistry() { return kPages; }

const PageEntry* findPage(TabRow row, int index) {
    for (const PageEntry& e : kPages)
        if (e.row == row && e.index == index) return &e;
    return nullptr;
}

QWidget* emptyControls(QWidget* client, TabRow row) {
    auto* w = new QWidget(client);
    w->setGeometry(row == TabRow::Lower ? dluRect(10, 234, 220, 17) : dluRect(164, 15, 248, 70));
    return w;
}

}  // namespace halvek::ui
