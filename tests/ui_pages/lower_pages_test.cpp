// The Statistics, Sensors and Main optics pages in the main window, offscreen:
// pixels that prove the drawing area, a heading colour, a highlight and where a
// number stands; the strips' buttons; and the Statistics page following bills
// the simulated validator takes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <functional>

#include "link/lower_page_actions.h"
#include "link/texts.h"
#include "pages/optics/optics_view.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/caption.h"
#include "support/fresh_dir.h"
#include "support/qt_pump.h"
#include "ui/main/main_window.h"
#include "ui/pages/optics/optics_page.h"
#include "ui/pages/statistics/statistics_page.h"

namespace halvek::ui {
namespace {

using namespace std::chrono_literals;

using halvek::test::caption;
using halvek::test::pumpUntil;

struct WindowRig {
    explicit WindowRig(bool simulated = false, sim::SimOptions options = {}) : sim(options) {
        if (simulated) sim.start();
        WindowOptions o;
        o.comPaths = {{1, simulated ? sim.devicePath() : "/dev/halvek-none"}};
        o.settingsPath = halvek::test::freshDir("halvek-settings-") + "/halvek.ini";
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return answer;
        });
        window->show();
    }
    Stores& stores() { return window->host().stores; }
    void show(int page) { window->controller().selectPage(TabRow::Lower, page, true); }
    template <class Strip>
    Strip* strip() {
        return qobject_cast<Strip*>(window->lowerPageWidget());
    }
    QImage grab(const char* saveAs = nullptr) {
        // The strip of the page shown before goes at the next turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QImage img = window->centralWidget()->grab().toImage();
        if (saveAs) img.save(QString::fromStdString(::testing::TempDir()) + "/" + saveAs);
        return img;
    }

    sim::SimServer sim;
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
    Answer answer = Answer::Yes;
};

// Whether some pixel of the rectangle has the colour.
bool anyPixel(const QImage& img, const QRect& r, const QColor& c) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) == c) return true;
    return false;
}
// Whether a text in the colour starts at x (its first glyph's own margin allowed).
bool startsAt(const QImage& img, int x, int y, const QColor& c) {
    return !anyPixel(img, QRect(x - 12, y, 12, 13), c) && anyPixel(img, QRect(x, y, 4, 13), c);
}
const QColor kBlack(0, 0, 0), kGreen(0, 255, 0), kCyan(0, 255, 255), kBox(119, 119, 119), kLight(204, 204, 204),
    kRed(255, 0, 0), kBlue(0, 119, 255);

TEST(StatisticsPage, PaintsTablesHighlightsAndTheFigure) {
    WindowRig rig;
    StatisticsStore& s = rig.stores().statistics;
    s.billCounts[39] = 120;  // type 40
    s.eventCounts[11] = 3;   // event 12
    s.lastBillType = 40;
    s.lastEvent = 12;
    rig.show(page::Statistics);
    const QImage img = rig.grab("halvek-statistics.png");
    EXPECT_EQ(img.pixelColor(17, 198), kBlack);
    EXPECT_EQ(img.pixelColor(614, 370), kBlack);
    EXPECT_TRUE(anyPixel(img, QRect(36, 203, 60, 12), kGreen));  // "accepted bills total:"
    // Type 40 is on the second page, column 0, row 7, its count boxed.
    EXPECT_EQ(img.pixelColor(49 + 40, 219 + 16 * 7 + 7), kBox);
    EXPECT_TRUE(startsAt(img, 51, 219 + 16 * 7, kCyan)) << "the count starts at x = 51";
    EXPECT_EQ(img.pixelColor(341 + 50, 219 + 16 * 2 + 7), kBox);  // event 12: second event page, row 2
    // 120 bills: the figure is shown, as acceptance on the second bill page.
    EXPECT_EQ(s.billPage, false);
    EXPECT_EQ(s.lastBillType, 0);
    EXPECT_EQ(s.lastEvent, 0);
    EXPECT_EQ(s.acceptedTotal, 120u);
    EXPECT_TRUE(anyPixel(img, QRect(196, 347, 15, 12), kGreen));  // " % "

    // The highlight marks what changed since the page was last shown.
    const QImage again = rig.grab();
    EXPECT_EQ(again.pixelColor(49 + 40, 219 + 16 * 7 + 7), kBlack);
}

TEST(StatisticsPage, StripPagesClearsAndReads) {
    WindowRig rig;
    rig.stores().statistics.billPage = false;
    rig.show(page::Statistics);
    auto* strip = rig.strip<StatisticsStrip>();
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(rig.stores().statistics.billPage) << "a page freshly shown starts at the first bills";
    EXPECT_EQ(caption(strip->billsButton()), "Next 32 Bills");
    QTest::mouseClick(strip->billsButton(), Qt::LeftButton);
    EXPECT_EQ(caption(strip->billsButton()), "Prev 32 Bills");
    EXPECT_FALSE(rig.stores().statistics.billPage);
    QTest::mouseClick(strip->eventsButton(), Qt::LeftButton);
    EXPECT_EQ(caption(strip->eventsButton()), "Prev 9 Events");
    QTest::mouseClick(strip->eventsButton(), Qt::LeftButton);
    EXPECT_EQ(caption(strip->eventsButton()), "Next 9 Events");

    rig.stores().statistics.billCounts[0] = 7;
    QTest::mouseClick(strip->clearButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
    EXPECT_EQ(rig.stores().statistics.billCounts[0], 7);

    QTest::mouseClick(strip->readButton(), Qt::LeftButton);
    EXPECT_EQ(rig.window->controller().requestState(cmd::ReadStats), RequestState::Requested);
}

TEST(StatisticsPage, FollowsTheBillsTheValidatorTakes) {
    WindowRig rig(true);
    rig.window->controller().setPollInterval(100);
    rig.show(page::Statistics);
    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.window->windowTitle().endsWith(" connected"); }));
    ASSERT_TRUE(pumpUntil([&] { return rig.window->controller().startupCountdown() == 0; }));
    const StatisticsStore& s = rig.stores().statistics;
    const uint32_t before = rig.window->controller().repliesTaken(cmd::ReadStats);
    ASSERT_EQ(rig.sim.execute("insert 2"), "");
    // The status decoding marks the bill as it is stacked, and asks for the statistics.
    ASSERT_TRUE(pumpUntil([&] { return s.lastBillType == 2; }));
    QImage img = rig.grab();
    EXPECT_EQ(img.pixelColor(49 + 40, 219 + 16 + 7), kBox);
    ASSERT_TRUE(pumpUntil([&] { return s.billCounts[1] == 1; }));
    EXPECT_GT(rig.window->controller().repliesTaken(cmd::ReadStats), before);
    img = rig.grab("halvek-statistics-live.png");
    EXPECT_TRUE(startsAt(img, 51, 219 + 16, kCyan));

    ASSERT_EQ(rig.sim.execute("reject 07"), "");  // failed the optical test: event 2
    ASSERT_TRUE(pumpUntil([&] { return s.eventCounts[1] == 1; }));
}

TEST(SensorsPage, PaintsBothLayoutsAndTheUnavailableNote) {
    WindowRig rig;
    SensorStore& s = rig.stores().sensors;
    s.l8v = true;
    s.full[Sidelook] = {0x0153, 100, 98, 1};
    s.full[RearExit] = {0x0142, 100, 3, 0};  // closed: red
    s.currentTemperature = 27;
    rig.show(page::Sensors);
    QImage img = rig.grab("halvek-sensors-l8v.png");
    EXPECT_EQ(img.pixelColor(17, 198), kBlack);
    EXPECT_TRUE(anyPixel(img, QRect(100, 215, 40, 12), kLight));         // "Sensor"
    EXPECT_TRUE(anyPixel(img, QRect(460, 239 + 18 * 4, 40, 12), kRed));  // rear exit "closed"
    EXPECT_TRUE(startsAt(img, 220, 239, kGreen)) << "the gain starts at x = 220";
    EXPECT_EQ(img.pixelColor(85, 300), kLight);  // the table's left rule

    s.l8v = false;
    rig.window->repaintDrawingArea(true);
    img = rig.grab("halvek-sensors-l8.png");
    EXPECT_TRUE(anyPixel(img, QRect(235, 215, 50, 12), kLight));  // "Parameters"
    EXPECT_EQ(img.pixelColor(285, 300), kBlack);                  // no column rules in the short table

    rig.window->controller().setDiagnosticsAvailable(false);
    rig.window->repaintDrawingArea(true);
    img = rig.grab();
    EXPECT_TRUE(anyPixel(img, QRect(100, 239, 60, 12), kLight));
    EXPECT_FALSE(anyPixel(img, QRect(16, 197, 600, 175), kGreen));
}

TEST(OpticsPage, PaintsTheSelectedLightAndRefusesShortFrames) {
    WindowRig rig;
    OpticsStore& o = rig.stores().optics;
    o.transWhite[0][2] = 190;
    rig.stores().sensors.l8v = true;
    rig.show(page::MainOptics);
    auto* strip = rig.strip<OpticsStrip>();
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(strip->colourButton(LightRed)->isChecked());
    QTest::mouseClick(strip->colourButton(LightBlue), Qt::LeftButton);
    EXPECT_EQ(o.colour, LightBlue);
    QImage img = rig.grab("halvek-optics.png");
    EXPECT_EQ(img.pixelColor(17, 198), kBlack);
    EXPECT_TRUE(anyPixel(img, QRect(55, 206, 60, 12), kLight));  // "Optics Settings"
    EXPECT_TRUE(startsAt(img, 380, 226, kBlue));                 // ch0's value at x = 380
    EXPECT_FALSE(anyPixel(img, QRect(545, 226, 30, 12), kBlue)) << "ch6 is not fitted on the L8V";
    EXPECT_EQ(img.pixelColor(45, 300), kLight);

    QTest::mouseClick(strip->readButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
}

}  // namespace
}  // namespace halvek::ui
