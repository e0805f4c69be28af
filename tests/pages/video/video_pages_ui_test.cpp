#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QThread>
#include <functional>

#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/fresh_dir.h"
#include "support/qt_pump.h"
#include "ui/main/main_window.h"
#include "ui/pages/quick_test/quick_test_page.h"
#include "ui/pages/vla/vla_page.h"

namespace halvek::ui {
namespace {

using namespace std::chrono_literals;

using halvek::test::pumpUntil;

// The offscreen grab may round a colour by a step or two.
bool near(const QColor& got, const QColor& want) {
    return std::abs(got.red() - want.red()) <= 3 && std::abs(got.green() - want.green()) <= 3 &&
           std::abs(got.blue() - want.blue()) <= 3;
}
// Whether any pixel of the rectangle has the colour (text is found by its ink).
bool inkIn(const QImage& img, const QRect& r, const QColor& colour) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (near(img.pixelColor(x, y), colour)) return true;
    return false;
}

const QColor kBlack(0, 0, 0), kTeal(0, 159, 159), kGrey(204, 204, 204), kRed(255, 0, 0), kGreen(0, 255, 0),
    kFailed(255, 119, 51), kYellow(255, 255, 0);

// A window whose COM 1 is a simulated validator, its message boxes answered and recorded.
struct WindowRig {
    explicit WindowRig(sim::SimOptions options = {}) : sim(options) {
        sim.start();
        WindowOptions o;
        o.comPaths = {{1, sim.devicePath()}};
        o.settingsPath = halvek::test::freshDir("halvek-settings-") + "/halvek.ini";
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return answer;
        });
        window->show();
    }
    Stores& stores() { return window->host().stores; }
    LinkController& link() { return window->controller(); }
    QImage grab() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the page left behind
        QImage img = window->centralWidget()->grab().toImage();
        // Screenshots for a look by eye, when asked for.
        if (const char* dir = std::getenv("HALVEK_SCREENSHOTS"); dir && !shotName.empty())
            window->grab().save(QString::fromStdString(std::string(dir) + "/" + shotName + ".png"));
        return img;
    }
    void connect() {
        QTest::mouseClick(window->connectButton(), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return link().linkConnected() && link().startupCountdown() == 0; }, 10s));
        ASSERT_TRUE(pumpUntil([&] { return link().requestState(cmd::ReadDiagn0) == RequestState::Idle; }));
    }
    template <class W>
    W* page() const {
        return window->centralWidget()->findChild<W*>();
    }

    sim::SimServer sim;
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
    Answer answer = Answer::Ok;
    std::string shotName;
};

TEST(VideoPagesUi, TheVideoChartWithItsRangesAndVerdict) {
    WindowRig rig;
    rig.shotName = "video_test";
    Stores& s = rig.stores();
    s.sensors.l8v = true;
    for (size_t ch = 0; ch < 7; ++ch)
        for (size_t col = 0; col < 4; ++col) {
            s.video.trans[ch][col][0] = 80;
            s.video.refl[ch][col][0] = ch < 3 ? 220 : 0;
        }
    s.video.trans[0][0][0] = 90;  // ch0 red: y 260 in the box at x 150
    s.video.trans[4][2][0] = 40;  // below the scale
    s.video.received = s.video.levelsHeld = true;
    rig.window->lowerTabs()->setCurrentIndex(page::VideoTest);
    ASSERT_EQ(rig.link().lowerPage(), page::VideoTest);
    const QImage img = rig.grab();
    EXPECT_TRUE(near(img.pixelColor(17, 198), kBlack));
    EXPECT_TRUE(near(img.pixelColor(314, 290), kBlack));  // between the two sets of boxes
    EXPECT_TRUE(near(img.pixelColor(150, 300), kTeal));   // the ch0 box's left side
    EXPECT_TRUE(near(img.pixelColor(155, 260), kRed));    // the level 90
    EXPECT_TRUE(near(img.pixelColor(155, 259), kRed));
    EXPECT_TRUE(near(img.pixelColor(155, 262), kBlack));
    EXPECT_TRUE(near(img.pixelColor(155, 248), kGrey));  // the top of the range 64-96
    EXPECT_TRUE(near(img.pixelColor(155, 313), kGrey));  // and its bottom
    EXPECT_TRUE(near(img.pixelColor(280, 343), QColor(0, 119, 255)));
    // " 80" on the scale: its digits level with the ticks of 80 at y 280, after a blank.
    EXPECT_TRUE(inkIn(img, QRect(25, 273, 14, 12), kTeal));
    EXPECT_FALSE(inkIn(img, QRect(18, 273, 6, 12), kTeal));
    EXPECT_FALSE(inkIn(img, QRect(18, 268, 24, 4), kTeal));  // the gap to " 90" above
    // "transmissive:  out of range" runs on past where "transmissive: OK" ends.
    EXPECT_TRUE(inkIn(img, QRect(48 + 130, 354, 40, 12), kTeal));
    EXPECT_FALSE(inkIn(img, QRect(328 + 110, 354, 60, 12), kTeal));  // "reflective: OK" is short

    auto* strip = rig.window->lowerPageWidget();
    ASSERT_NE(strip, nullptr);
    auto* text = strip->findChild<QLabel*>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "Insert white \"VLA\" paper cupon into validator (if ready)");
}

// Run Test reads the optics, a VLA brings the video levels, and the table shows the verdicts.
void quickTestAgainst(sim::SimOptions options, const QColor& videoResult) {
    WindowRig rig(options);
    rig.shotName = options.failVideo ? "quick_test_failing" : "quick_test";
    rig.connect();
    rig.window->lowerTabs()->setCurrentIndex(page::QuickTest);
    auto* panel = rig.page<QuickTestPanel>();
    ASSERT_NE(panel, nullptr);
    QImage img = rig.grab();
    EXPECT_TRUE(near(img.pixelColor(300, 250), kBlack));
    EXPECT_FALSE(inkIn(img, QRect(535, 256, 70, 12), kGreen));  // "incomplete"

    QTest::mouseClick(panel->runButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return !rig.messages.empty(); }));
    EXPECT_EQ(rig.messages[0].text, "To complete VIDEO test please insert VLA paper");
    img = rig.grab();
    EXPECT_TRUE(inkIn(img, QRect(535, 256, 70, 12), kGreen));  // detectors "  OK  "
    EXPECT_TRUE(inkIn(img, QRect(535, 286, 70, 12), kGreen));  // emitters
    EXPECT_FALSE(inkIn(img, QRect(535, 316, 70, 12), kGreen));
    EXPECT_EQ(rig.messages.size(), 1u);  // a repaint does not ask again

    rig.window->upperTabs()->setCurrentIndex(page::Vla);
    auto* vla = rig.page<VlaPage>();
    ASSERT_NE(vla, nullptr);
    QTest::mouseClick(vla->requestButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.stores().video.received; }, 15s));
    EXPECT_EQ(rig.window->upperTabs()->currentIndex(), page::Setup);
    img = rig.grab();
    EXPECT_TRUE(inkIn(img, QRect(535, 316, 70, 12), videoResult));
    EXPECT_TRUE(inkIn(img, QRect(270, 316, 200, 12), videoResult == kGreen ? kGreen : kYellow));
    EXPECT_TRUE(inkIn(img, QRect(535, 256, 70, 12), kGreen));
    EXPECT_TRUE(near(img.pixelColor(150, 300), kTeal));  // the table's left rule
    EXPECT_EQ(rig.messages.size(), 2u);                  // and the coupon warning
}

TEST(VideoPagesUi, QuickTestOfAHealthyUnit) { quickTestAgainst({}, kGreen); }

TEST(VideoPagesUi, QuickTestOfAUnitWithVideoOutOfRange) {
    sim::SimOptions o;
    o.failVideo = true;
    quickTestAgainst(o, kFailed);
}

TEST(VideoPagesUi, QuickTestClearResultsLeavesEveryLineIncomplete) {
    WindowRig rig;
    rig.stores().optics.received = rig.stores().video.received = rig.stores().video.levelsHeld = true;
    rig.window->lowerTabs()->setCurrentIndex(page::QuickTest);
    QImage img = rig.grab();
    EXPECT_TRUE(inkIn(img, QRect(535, 316, 70, 12), kFailed));  // all-zero levels fail
    QTest::mouseClick(rig.page<QuickTestPanel>()->clearButton(), Qt::LeftButton);
    img = rig.grab();
    EXPECT_FALSE(rig.stores().optics.received || rig.stores().video.received);
    for (int y : {256, 286, 316}) EXPECT_FALSE(inkIn(img, QRect(535, y, 70, 12), kFailed));
    // The Video test page still shows the levels, and so still judges them.
    rig.window->lowerTabs()->setCurrentIndex(page::VideoTest);
    EXPECT_TRUE(inkIn(rig.grab(), QRect(48 + 130, 354, 40, 12), kTeal));  // "transmissive:  out of range"
    rig.window->lowerTabs()->setCurrentIndex(page::QuickTest);
    img = rig.grab();
    // The longest label, the video's "( to complete please insert VLA paper)", ends before the rule at 530.
    EXPECT_TRUE(inkIn(img, QRect(500, 316, 26, 12), kGrey));
    EXPECT_FALSE(inkIn(img, QRect(527, 316, 3, 12), kGrey));
    // Run Test without a line: refused, and nothing to complete.
    QTest::mouseClick(rig.page<QuickTestPanel>()->runButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
}

TEST(VideoPagesUi, TheVlaPageWarnsAndCancelLeavesNoRunBehind) {
    WindowRig rig;
    rig.shotName = "vla";
    rig.window->upperTabs()->setCurrentIndex(page::Vla);
    auto* vla = rig.page<VlaPage>();
    ASSERT_NE(vla, nullptr);
    EXPECT_EQ(vla->geometry(), QRect(246, 24, 372, 113));
    QStringList texts;
    for (auto* l : vla->findChildren<QLabel*>()) texts << l->text();
    EXPECT_TRUE(
        texts.contains("It should be done only with QRV's special  VLA coupon. Using inappropriate coupon may "
                       "result in significantly lower validating performance."));
    const QImage img = rig.grab();
    EXPECT_TRUE(near(img.pixelColor(17, 198), kBlack));  // the Command-Status panes below stay
    EXPECT_TRUE(vla->requestButton()->geometry().bottom() < vla->height());

    QTest::mouseClick(vla->requestButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
    rig.connect();
    rig.answer = Answer::Cancel;
    QTest::mouseClick(vla->requestButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 2u);
    EXPECT_EQ(rig.messages[1].title, "Warning");
    EXPECT_EQ(rig.messages[1].icon, Icon::Warning);
    EXPECT_FALSE(rig.link().vlaRunning());
    EXPECT_EQ(rig.link().requestState(cmd::RequestVla), RequestState::Idle);
}

}  // namespace
}  // namespace halvek::ui
