#include "ui/report/report_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QThread>
#include <filesystem>

#include "report_fixture.h"
#include "sim/sim_server.h"
#include "support/qt_pump.h"
#include "ui/main/main_window.h"

namespace halvek::ui {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using halvek::test::pumpUntil;

struct ReportRig {
    ReportRig() {
        char name[] = "/tmp/halvek-report-ui-XXXXXX";
        dir = mkdtemp(name);
        sim.start();
        WindowOptions o;
        o.comPaths = {{1, sim.devicePath()}};
        o.settingsPath = (dir / "halvek.ini").string();
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return Answer::Ok;
        });
        window->show();
    }
    ~ReportRig() {
        window.reset();
        fs::remove_all(dir);
    }
    ReportWindow* open() { return ReportWindow::open(window.get(), window->controller(), *window, memory); }

    fs::path dir;
    sim::SimServer sim;
    std::unique_ptr<MainWindow> window;
    ReportMemory memory;
    std::vector<Message> messages;
};

TEST(ReportWindow, OkWaitsForTheReadsThenWritesTheFileAndSaysWhere) {
    ReportRig rig;
    EXPECT_EQ(rig.open(), nullptr);  // not connected
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
    rig.messages.clear();

    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.window->windowTitle().endsWith(" connected"); }));
    QPointer<ReportWindow> w = rig.open();
    ASSERT_TRUE(w);
    EXPECT_EQ(rig.open(), w.data());  // one at a time
    EXPECT_EQ(w->windowTitle(), "Diagnostics Log File");
    EXPECT_TRUE(w->partBox(ReportPart::Statistics)->isChecked());
    EXPECT_FALSE(w->partBox(ReportPart::Video)->isChecked());
    EXPECT_FALSE(w->okButton()->isEnabled());
    EXPECT_TRUE(w->statusText()->text().startsWith("Reading "));
    EXPECT_EQ(w->focusWidget(), w->serialField());  // typed first: it names the file

    // A click on the video box shows the Video test page, where the test is run.
    QTest::mouseClick(w->partBox(ReportPart::Video), Qt::LeftButton);
    EXPECT_EQ(rig.window->lowerTabs()->currentIndex(), 4);
    QTest::mouseClick(w->partBox(ReportPart::Video), Qt::LeftButton);

    QTest::keyClicks(w->serialField(), "1234567890ABCDEF");
    EXPECT_EQ(w->serialField()->text(), "1234567890AB");
    ASSERT_TRUE(pumpUntil([&] { return w->okButton()->isEnabled(); }));

    std::string proposed;
    const std::string path = (rig.dir / "chosen.TXT").string();
    w->setFileChooser([&](QWidget*, const std::string& p) {
        proposed = p;
        return path;
    });
    QTest::mouseClick(w->okButton(), Qt::LeftButton);
    EXPECT_EQ(proposed, "L8V_1234567890AB.TXT");
    const std::string bytes = test::fileBytes(path);
    EXPECT_NE(bytes.find("          Unit Ser. Num.: 1234567890AB\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("  PART III - MAIN OPTICS PARAMETERS\r\n"), std::string::npos);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Log File Location");
    EXPECT_EQ(rig.messages[0].text, "Log File Created at " + path + " ");
    EXPECT_TRUE(pumpUntil([&] { return w.isNull(); }));
    EXPECT_EQ(rig.memory.serialNumber, "1234567890AB");
}

TEST(ReportWindow, AFailedWriteIsSaidAndTheWindowStays) {
    ReportRig rig;
    QTest::mouseClick(rig.window->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.window->windowTitle().endsWith(" connected"); }));
    QPointer<ReportWindow> w = rig.open();
    ASSERT_TRUE(pumpUntil([&] { return w->okButton()->isEnabled(); }));
    // No serial number: no file is asked for nor written, and the user is told why.
    bool asked = false;
    w->setFileChooser([&](QWidget*, const std::string&) {
        asked = true;
        return std::string();
    });
    QTest::mouseClick(w->okButton(), Qt::LeftButton);
    EXPECT_FALSE(asked);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "Type the unit's serial number first: it names the log file.");
    EXPECT_EQ(w->focusWidget(), w->serialField());
    rig.messages.clear();
    QTest::keyClicks(w->serialField(), "7");
    std::ofstream(rig.dir / "plain") << "x";
    const std::string blocked = (rig.dir / "plain" / "r.TXT").string();
    w->setFileChooser([&](QWidget*, const std::string&) { return blocked; });
    QTest::mouseClick(w->okButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Warning");
    EXPECT_EQ(rig.messages[0].detail, "cannot create " + blocked + ": Not a directory");
    EXPECT_FALSE(w.isNull());

    // A cancelled dialog writes nothing and says nothing.
    rig.messages.clear();
    w->setFileChooser([](QWidget*, const std::string&) { return std::string(); });
    QTest::mouseClick(w->okButton(), Qt::LeftButton);
    EXPECT_TRUE(rig.messages.empty());
}

}  // namespace
}  // namespace halvek::ui
