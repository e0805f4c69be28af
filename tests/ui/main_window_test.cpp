#include "ui/main/main_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QThread>
#include <fstream>
#include <functional>

#include "link/poll_interval.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/fresh_dir.h"
#include "support/qt_pump.h"
#include "ui/main/bill_list_view.h"
#include "ui/main/poll_interval_window.h"
#include "ui/main/port_choice_box.h"

namespace halvek::ui {
namespace {

using namespace std::chrono_literals;

using halvek::test::pumpUntil;

std::string tempDir() { return halvek::test::freshDir("halvek-ui-"); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int comNumber(const MainWindow& w) { return chosenPort(w.comPorts(), w.comPorts()->currentIndex()).comNumber; }

// A window whose COM 1 is the simulated validator, with its message boxes recorded.
struct WindowRig {
    explicit WindowRig(bool simulated = true, std::string dir = tempDir(), std::string journal = "")
        : settings(dir + "/halvek.ini") {
        if (simulated) sim.start();
        WindowOptions o;
        o.comPaths = {{1, simulated ? sim.devicePath() : "/dev/halvek-none"}};
        o.settingsPath = settings;
        o.journalPath = journal;
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return Answer::Ok;
        });
        window->show();
    }
    QString title() const { return window->windowTitle(); }
    QString billText(int row, int column = 0) const { return window->billList()->topLevelItem(row)->text(column); }

    sim::SimServer sim;
    std::string settings;
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
};

TEST(MainWindow, ConnectsAndFillsTheBillListInBothModes) {
    for (bool extended : {true, false}) {
        WindowRig rig;
        if (!extended) QTest::mouseClick(rig.window->q7eButton(), Qt::LeftButton);
        EXPECT_EQ(rig.window->q7eButton()->text().remove('&'), extended ? "Q7E" : "Q7");
        EXPECT_EQ(rig.billText(0), " 01  ___");
        QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return rig.title().endsWith(" connected"); }));
        EXPECT_EQ(rig.title().toStdString(), text::windowTitle() + " connected");
        EXPECT_FALSE(rig.window->q7eButton()->isEnabled());
        EXPECT_FALSE(rig.window->comPorts()->isEnabled());
        ASSERT_TRUE(pumpUntil([&] { return rig.billText(6) != " 07  ___"; }));
        EXPECT_EQ(rig.billText(0), " 01    000005   ");
        EXPECT_EQ(rig.billText(6), " 07    000500   ");
        EXPECT_EQ(rig.billText(6, 1), "EUR");
        EXPECT_EQ(rig.billText(15), "   COUPON ");
        EXPECT_EQ(rig.billText(16), " 17  ___");
        ASSERT_TRUE(pumpUntil([&] { return rig.billText(2, 2) == "EN"; }));
        EXPECT_EQ(rig.billText(2, 3), "dis");
        EXPECT_TRUE(rig.messages.empty());
    }
}

TEST(MainWindow, AClickOnABillSendsTheToggledEnableWhileConnected) {
    WindowRig rig;
    auto* list = rig.window->billList();
    list->setCurrentItem(list->topLevelItem(2));
    Q_EMIT list->itemClicked(list->topLevelItem(2), 0);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Info");
    EXPECT_EQ(rig.messages[0].text, "No connection");

    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.billText(2, 2) == "EN"; }));
    Q_EMIT list->itemClicked(list->topLevelItem(2), 0);
    EXPECT_EQ(rig.billText(2, 2), "dis");
    ASSERT_TRUE(pumpUntil([&] { return !rig.sim.withModel([](sim::ValidatorModel& m) { return m.enabled(3); }); }));
    EXPECT_TRUE(rig.sim.withModel([](sim::ValidatorModel& m) { return m.enabled(2) && m.enabled(4); }));
    const auto& sent = rig.window->host().stores.history.slots();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "set bill enable"), sent.end());
}

TEST(MainWindow, ANoConnectionBoxNamesTheDeviceAndTheReason) {
    WindowRig rig(false);
    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Info");
    EXPECT_EQ(rig.messages[0].text, "No Connection");
    EXPECT_EQ(rig.messages[0].detail, "cannot open /dev/halvek-none: No such file or directory");
    EXPECT_TRUE(rig.window->q7eButton()->isEnabled());
}

QColor pixel(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

TEST(MainWindow, PaintsTheCommandStatusPanes) {
    WindowRig rig(false);
    Stores& s = rig.window->host().stores;
    for (const char* c : {"read bill enable", "read sec.level", "read setup"}) s.history.recordCommand(c);
    s.events.add("bill stacked : EUR  5");
    s.events.add("bill stacked : EUR  10");
    s.status.received = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00};  // idle
    rig.window->repaintDrawingArea(false);
    QImage img = rig.window->centralWidget()->grab().toImage();
    const QColor black(0, 0, 0), teal(0, 159, 159), light(85, 85, 85), dark(51, 51, 51);
    EXPECT_EQ(pixel(img, 17, 198), black);   // the drawing area's corner
    EXPECT_EQ(pixel(img, 615, 371), black);  // and the opposite one
    EXPECT_EQ(pixel(img, 28, 300), teal);    // the command pane's left side
    EXPECT_EQ(pixel(img, 243, 300), teal);
    EXPECT_EQ(pixel(img, 150, 222), teal);               // its top
    EXPECT_EQ(pixel(img, 240, 230), light);              // row 0
    EXPECT_EQ(pixel(img, 240, 247), dark);               // row 1
    EXPECT_EQ(pixel(img, 240, 264), light);              // row 2
    EXPECT_EQ(pixel(img, 240, 281), black);              // row 3: empty
    EXPECT_EQ(pixel(img, 470, 230), light);              // the first event
    EXPECT_EQ(pixel(img, 600, 250), QColor(0, 255, 0));  // "idle" highlighted
    EXPECT_EQ(pixel(img, 600, 230), light);              // "power-up" is not
    EXPECT_EQ(pixel(img, 486, 300), teal);

    s.status.received = {0x00, 0x00, 0x80, 0x00, 0x00, 0x00};          // inhibited
    for (int i = 0; i < 7; ++i) s.history.recordCommand("poll more");  // ten lines: the shades move
    rig.window->repaintDrawingArea(false);
    img = rig.window->centralWidget()->grab().toImage();
    EXPECT_EQ(pixel(img, 600, 350), QColor(255, 0, 0));
    EXPECT_EQ(pixel(img, 600, 250), light);
    EXPECT_EQ(pixel(img, 240, 230), light);  // counter 10, row 0: even
    EXPECT_EQ(pixel(img, 240, 247), dark);
    s.history.recordCommand("one more");
    rig.window->repaintDrawingArea(false);
    img = rig.window->centralWidget()->grab().toImage();
    EXPECT_EQ(pixel(img, 240, 230), dark);  // counter 11: the shades moved up with the lines
    EXPECT_EQ(pixel(img, 240, 247), light);
}

TEST(MainWindow, KeepsTheComChoiceInTheSettingsFile) {
    const std::string dir = tempDir();
    {
        WindowRig rig(false, dir);
        // The device given on the command line for COM 1 is kept with the choice.
        EXPECT_EQ(readFile(dir + "/halvek.ini"), std::string("Val_Port_Num:0\r\nVal_Port_Path:1=/dev/halvek-none\r\n"));
        EXPECT_EQ(comNumber(*rig.window), 1);
        rig.window->comPorts()->setCurrentIndex(2);
        EXPECT_EQ(readFile(dir + "/halvek.ini"), std::string("Val_Port_Num:2\r\nVal_Port_Path:1=/dev/halvek-none\r\n"));
        EXPECT_EQ(rig.window->controller().portPath(), "/dev/ttyS2");
    }
    WindowRig again(false, dir);
    EXPECT_EQ(comNumber(*again.window), 3);
}

TEST(MainWindow, AReadOnlyDirectoryDoesNotStopTheProgram) {
    if (geteuid() == 0) {
        // The superuser writes anywhere: a path under a file stands in for it.
        const std::string dir = tempDir();
        std::ofstream(dir + "/plain") << "x";
        WindowRig rig(false, dir + "/plain");
        ASSERT_TRUE(pumpUntil([&] { return !rig.messages.empty(); }));
        EXPECT_EQ(rig.messages[0].title, "Warning");
        EXPECT_NE(rig.messages[0].detail.find("halvek.ini"), std::string::npos);
        EXPECT_EQ(comNumber(*rig.window), 1);
        rig.window->comPorts()->setCurrentIndex(1);  // said once only
        EXPECT_EQ(rig.messages.size(), 1u);
        return;
    }
    const std::string dir = tempDir();
    chmod(dir.c_str(), 0555);
    WindowRig rig(false, dir);
    ASSERT_TRUE(pumpUntil([&] { return !rig.messages.empty(); }));
    EXPECT_EQ(rig.messages[0].title, "Warning");
    EXPECT_EQ(comNumber(*rig.window), 1);
    chmod(dir.c_str(), 0755);
}

// halvek --journal FILE: the window's money events go to the journal as the
// console's do; a journal that cannot be opened is said at once, by its name.
TEST(MainWindow, KeepsTheMoneyJournalNamedOnTheCommandLine) {
    const std::string dir = tempDir();
    const std::string journal = dir + "/money.journal";
    {
        WindowRig rig(true, dir, journal);
        QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return rig.billText(6) != " 07  ___"; }));
        ASSERT_EQ(rig.sim.execute("insert 3"), "");
        ASSERT_TRUE(pumpUntil([&] { return readFile(journal).find(" stacked type=3 value=20") != std::string::npos; }));
        EXPECT_NE(readFile(journal).find(" decision type=3 value=20 credit=0 action=accept by=auto expected-count=0 episode=1 seq="), std::string::npos)
            << readFile(journal);
        EXPECT_TRUE(rig.messages.empty());
    }
    WindowRig bad(true, dir, dir + "/no-such-dir/money.journal");
    ASSERT_TRUE(pumpUntil([&] { return !bad.messages.empty(); }));
    EXPECT_EQ(bad.messages[0].text, "No money journal");
    EXPECT_NE(bad.messages[0].detail.find(dir + "/no-such-dir/money.journal"), std::string::npos);

    // A journal that takes no records (a full disk): said at once, and kept in
    // the status line while it lasts.
    WindowRig full(true, dir, "/dev/full");
    QTest::mouseClick(full.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return full.billText(6) != " 07  ___"; }));
    ASSERT_EQ(full.sim.execute("insert 3"), "");
    ASSERT_TRUE(pumpUntil([&] { return !full.messages.empty(); }));
    EXPECT_EQ(full.messages[0].text, "The money journal is not written");
    EXPECT_EQ(full.messages[0].detail, "cannot write the money journal /dev/full: No space left on device");
    ASSERT_TRUE(
        pumpUntil([&] { return full.window->statusBar()->currentMessage().contains("No space left on device"); }));
    EXPECT_TRUE(full.window->statusBar()->currentMessage().contains("records not written"));
}

TEST(PollIntervalWindow, AcceptsTheRangeAndRefusesTheRest) {
    struct Case {
        const char* typed;
        const char* complaint;
    };
    const Case cases[] = {{"100", nullptr},
                          {"3000", nullptr},
                          {"99", "Please enter an integer between 100 and 3000."},
                          {"3001", "Please enter an integer between 100 and 3000."},
                          {"", "Please enter an integer."}};
    for (const Case& c : cases) {
        std::vector<Message> said;
        PollIntervalWindow w(nullptr, [&](const Message& m) { said.push_back(m); });
        EXPECT_EQ(w.field()->text(), "350");
        w.field()->setText(c.typed);
        w.confirm();
        if (c.complaint) {
            ASSERT_EQ(said.size(), 1u) << c.typed;
            EXPECT_EQ(said[0].text, c.complaint);
            EXPECT_EQ(w.result(), 0) << "the window stays open";
        } else {
            EXPECT_TRUE(said.empty()) << c.typed;
            EXPECT_EQ(w.value(), std::stoi(c.typed));
        }
    }
    std::string complaint;
    EXPECT_FALSE(checkPollInterval("12a", complaint));
    EXPECT_EQ(complaint, "Please enter an integer.");
}

TEST(MainWindow, TheCaptionShowsThePollInterval) {
    WindowRig rig(false);
    rig.window->controller().setPollInterval(500);
    ASSERT_TRUE(pumpUntil([&] { return rig.window->modeGroup()->title() == "Polling Mode - 500 ms"; }));
}

TEST(MainWindow, ExitWhileRepliesStreamClosesCleanly) {
    WindowRig rig;
    rig.sim.setAuto(true);
    rig.window->controller().setPollInterval(100);
    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.title().endsWith(" connected"); }));
    pumpUntil([] { return false; }, 500ms);
    rig.sim.execute("garbage 4000");
    QTest::mouseClick(rig.window->exitButton(), Qt::LeftButton);
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_FALSE(rig.window->host().block.port.isOpen());
    rig.window.reset();
}

}  // namespace
}  // namespace halvek::ui
