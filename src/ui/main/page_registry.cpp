#include "ui/main/page_registry.h"

#include "ui/main/command_status_painter.h"
#include "ui/main/command_status_strip.h"
#include "ui/main/geometry.h"
#include "ui/pages/counters/counters_page.h"
#include "ui/pages/crc/crc_page.h"
#include "ui/pages/escrow/escrow_page.h"
#include "ui/pages/identity/factory_page.h"
#include "ui/pages/identity/rev_id_page.h"
#include "ui/pages/optics/optics_page.h"
#include "ui/pages/quick_test/quick_test_page.h"
#include "ui/pages/rtc/rtc_page.h"
#include "ui/pages/sensors/sensors_page.h"
#include "ui/pages/setup/setup_page.h"
#include "ui/pages/statistics/statistics_page.h"
#include "ui/pages/video/video_test_page.h"
#include "ui/pages/view_data/view_data_painter.h"
#include "ui/pages/view_data/view_data_strip.h"
#include "ui/pages/vla/vla_page.h"

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
    {L, page::Statistics, "Statistics", makeStatisticsControls, paintStatistics},
    {L, page::Sensors, "Sensors", makeSensorsControls, paintSensors},
    {L, page::MainOptics, "Main Optics", makeOpticsControls, paintOptics},
    {L, page::VideoTest, "Video Test", makeVideoTestStrip, paintVideoTest},
    {L, page::ViewData, "View Data", viewDataControls, viewDataPaint},
    {L, page::QuickTest, "QUICK TEST", makeQuickTestPanel, paintQuickTest},
    {U, page::Setup, "Setup", createSetupPage, nullptr},
    {U, page::RevId, "Rev-Id", createRevIdPage, nullptr},
    {U, page::Escrow, "Escrow", createEscrowPage, nullptr},
    {U, page::Counters, "Counters", createCountersPage, nullptr},
    {U, page::Crc, "CRC", crcControls, nullptr},
    {U, page::Factory, "Factory", createFactoryPage, nullptr},
    {U, page::Rtc, "RTC", createRtcPage, nullptr},
    {U, page::Vla, "VLA", makeVlaPage, nullptr},
};

}  // namespace

std::span<const PageEntry> pageRegistry() { return kPages; }

int upperPageOf(View view) {
    static constexpr std::pair<View, int> kUpperViews[] = {
        {View::Setup, page::Setup},       {View::RevId, page::RevId}, {View::Escrow, page::Escrow},
        {View::Counters, page::Counters}, {View::Crc, page::Crc},     {View::Factory, page::Factory},
        {View::Rtc, page::Rtc},           {View::Vla, page::Vla},
    };
    for (const auto& [v, index] : kUpperViews)
        if (v == view) return index;
    return -1;
}

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
