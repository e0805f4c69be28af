// The window as a technician meets it: keyboard, link state, dark theme,
// message boxes, and the program's command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "ui/main/bill_list_view.h"
#include "ui/main/command_line.h"
#include "ui/main/keyboard_order.h"
#include "ui/main/link_state_label.h"
#include "ui/main/message_box.h"
#include "ui/pages/escrow/escrow_page.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

TEST(Keyboard, SpaceAndReturnToggleTheCurrentBill) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    BillListView* list = rig.window->billList();
    ASSERT_TRUE(pumpUntil([&] { return list->topLevelItem(2)->text(2) == "EN"; }));
    list->setCurrentItem(list->topLevelItem(2));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->topLevelItem(2)->text(2), "dis");
    ASSERT_TRUE(pumpUntil([&] { return !rig.sim.withModel([](sim::ValidatorModel& m) { return m.enabled(3); }); }));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(list->topLevelItem(2)->text(2), "EN");
    EXPECT_NE(list->topLevelItem(2)->data(0, Qt::AccessibleTextRole).toString().indexOf("enabled"), -1);
}

TEST(Keyboard, TheFocusGoesThroughTheWindowInTheOrderItIsSeen) {
    Rig rig(false);
    MainWindow& w = *rig.window;
    QList<QWidget*> chain;
    QWidget* start = w.billList();
    for (QWidget* f = start->nextInFocusChain(); f != start && chain.size() < 200; f = f->nextInFocusChain())
        if ((f->focusPolicy() & Qt::TabFocus) && f->isVisibleTo(&w) && f->window() == &w) chain.append(f);
    chain.prepend(start);
    auto at = [&](QWidget* x) { return chain.indexOf(x); };
    EXPECT_LT(at(w.billList()), at(w.upperTabs()));
    EXPECT_LT(at(w.upperTabs()), at(w.lowerTabs()));
    EXPECT_LT(at(w.lowerTabs()), at(w.comPorts()));
    EXPECT_LT(at(w.comPorts()), at(w.connectButton()));
    EXPECT_LT(at(w.connectButton()), at(w.q7eButton()));
    EXPECT_LT(at(w.q7eButton()), at(w.exitButton()));
    // The strip's buttons sit between the tabs and the COM choice.
    for (QAbstractButton* b : w.lowerPageWidget()->findChildren<QAbstractButton*>()) {
        EXPECT_GT(at(b), at(w.lowerTabs()));
        EXPECT_LT(at(b), at(w.comPorts()));
    }
}

QAction* menuEntry(MainWindow& w, const QString& menu, const QString& entry) {
    for (QAction* top : w.menuBar()->actions())
        if (top->menu() && QString(top->text()).remove('&') == menu)
            for (QAction* a : top->menu()->actions())
                if (QString(a->text()).remove('&') == entry) return a;
    return nullptr;
}

// The demo's bill by hand: only under the simulator, on F2; it raises the
// Escrow page with the keyboard on the decision, and a second one while the
// first waits is not taken, with the reason in the status bar.
TEST(Demo, ABillByHandRaisesEscrowWithTheKeyboardOnTheDecision) {
    EXPECT_FALSE(menuEntry(*Rig(false).window, "Simulator", "Insert a Bill"));
    Rig rig(true, true);
    MainWindow& w = *rig.window;
    QAction* insert = menuEntry(w, "Simulator", "Insert a Bill");
    ASSERT_TRUE(insert);
    EXPECT_EQ(insert->shortcut(), QKeySequence(Qt::Key_F2));
    ASSERT_TRUE(rig.connect());
    w.controller().stores().escrow.autoAccept = false;  // the user decides
    insert->trigger();
    ASSERT_TRUE(pumpUntil([&] { return w.upperTabs()->currentIndex() == page::Escrow; }));
    auto* escrow = qobject_cast<EscrowPage*>(w.upperPageWidget());
    ASSERT_TRUE(escrow);
    ASSERT_TRUE(pumpUntil([&] { return escrow->acceptButton()->isEnabled(); }));
    EXPECT_EQ(w.focusWidget(), escrow->acceptButton());
    insert->trigger();
    EXPECT_TRUE(w.statusBar()->currentMessage().contains("No bill inserted: the unit is busy"))
        << w.statusBar()->currentMessage().toStdString();
    // With Auto Acc. on, Accept is disabled: the keyboard goes to Auto Acc.
    w.controller().stores().escrow.autoAccept = true;
    escrow->refresh();
    escrow->focusDecision();
    EXPECT_EQ(w.focusWidget(), escrow->autoAcceptBox());
}

// Alt+letter on a control never shares a letter with a menu: the menu would
// take it and the control could not be reached.
TEST(Keyboard, NoControlSharesAMenusLetter) {
    Rig rig(true, true);
    MainWindow& w = *rig.window;
    QString menuLetters;
    for (QAction* top : w.menuBar()->actions()) {
        const QString t = top->text();
        const int at = t.indexOf('&');
        if (at >= 0 && at + 1 < t.size()) menuLetters += t[at + 1].toUpper();
    }
    for (int i = 0; i < w.upperTabs()->count(); ++i) {
        w.upperTabs()->setCurrentIndex(i);
        for (QAbstractButton* b : w.centralWidget()->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(&w)) continue;
            const QString t = b->text();
            const int at = t.indexOf('&');
            if (at < 0 || at + 1 >= t.size() || t[at + 1] == '&') continue;
            EXPECT_FALSE(menuLetters.contains(t[at + 1].toUpper()))
                << t.toStdString() << " on upper page " << i << " takes a menu's letter";
        }
    }
}

QString linkText(MainWindow& w) { return w.linkStateLabel()->accessibleDescription(); }

TEST(LinkState, FollowsConnectSilenceAndReconnect) {
    Rig rig(true, true);
    auto* label = static_cast<LinkStateLabel*>(rig.window->linkStateLabel());
    EXPECT_EQ(label->state(), LinkState::Closed);
    EXPECT_TRUE(label->simulated());
    EXPECT_TRUE(linkText(*rig.window).startsWith("simulated: not connected"));
    rig.window->controller().setPollInterval(100);
    rig.window->pressConnect();
    EXPECT_EQ(label->state(), LinkState::Waiting);
    ASSERT_TRUE(pumpUntil([&] { return label->state() == LinkState::Answering; }));
    EXPECT_TRUE(linkText(*rig.window).startsWith("simulated: unit answering"));
    rig.sim.execute("silent");
    ASSERT_TRUE(pumpUntil([&] { return label->state() == LinkState::Waiting; }));
    ASSERT_TRUE(pumpUntil([&] { return label->state() == LinkState::NoAnswer; }));
    EXPECT_TRUE(rig.window->windowTitle().endsWith(" disconnected"));
    rig.sim.execute("speak");
    ASSERT_TRUE(pumpUntil([&] { return label->state() == LinkState::Answering; }));
    EXPECT_TRUE(rig.window->windowTitle().endsWith(" connected"));
}

// A frame the line spoiled is dropped and asked again, and the window says so
// where a technician looks: the status bar beside the device.
TEST(LinkState, DroppedFramesShowInTheStatusBar) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(rig.window->statusBar()->currentMessage().contains("link:"));
    rig.sim.execute("corrupt-next");
    // A spoiled status reply: the next poll asks again, no command is retried.
    const QString said = "link: 1 frame dropped (1 bad checksum), 0 retried, 0 given up";
    EXPECT_TRUE(pumpUntil([&] { return rig.window->statusBar()->currentMessage().endsWith(said); }))
        << rig.window->statusBar()->currentMessage().toStdString();
}

// A long device name (a by-id path) gives way in its middle: the link's counts
// stay in sight, and the whole line is in the tip.
TEST(LinkState, ALongDeviceNameLeavesTheCountsInSight) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    const std::string dir = tempDir();
    const std::string byId = dir + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-and-a-long-tail-of-words";
    ASSERT_EQ(::symlink(sim.devicePath().c_str(), byId.c_str()), 0);
    WindowOptions o;
    o.comPaths = {{1, byId}};
    o.settingsPath = dir + "/halvek.ini";
    MainWindow w(o);
    w.setMessageHook([](const Message&) { return Answer::Ok; });
    w.show();
    w.controller().setPollInterval(100);
    w.pressConnect();
    ASSERT_TRUE(pumpUntil([&] { return w.windowTitle().endsWith(" connected"); }));
    sim.execute("corrupt-next");
    const QString counts = "link: 1 frame dropped (1 bad checksum), 0 retried, 0 given up";
    ASSERT_TRUE(pumpUntil([&] { return w.statusBar()->currentMessage().endsWith(counts); }))
        << w.statusBar()->currentMessage().toStdString();
    const QString shown = w.statusBar()->currentMessage();
    EXPECT_TRUE(shown.startsWith("COM 1: /")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();  // the name cut in its middle
    EXPECT_LE(w.statusBar()->fontMetrics().horizontalAdvance(shown),
              w.statusBar()->width() - w.linkStateLabel()->width())
        << shown.toStdString();
    EXPECT_TRUE(w.statusBar()->toolTip().contains(QString::fromStdString(byId)))
        << w.statusBar()->toolTip().toStdString();
    EXPECT_TRUE(w.statusBar()->toolTip().endsWith(counts)) << w.statusBar()->toolTip().toStdString();
}

TEST(LinkState, TheStatesFromTheControllersFacts) {
    struct Case {
        LinkFacts facts;
        LinkState state;
    };
    const Case cases[] = {
        {{false, false, 0, false}, LinkState::Closed},  {{true, true, 0, false}, LinkState::Waiting},
        {{true, false, 0, false}, LinkState::Waiting},  {{true, true, 1, true}, LinkState::Answering},
        {{true, true, 2, true}, LinkState::Answering},  {{true, true, 3, true}, LinkState::Waiting},
        {{true, false, 11, true}, LinkState::NoAnswer}, {{true, false, 11, false}, LinkState::NoAnswer},
        {{true, false, 1, false}, LinkState::Waiting},
    };
    for (const Case& c : cases) EXPECT_EQ(linkStateOf(c.facts), c.state) << c.facts.missedPolls;
}

double luminance(QColor c) { return 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue(); }

// The difference between a widget's background (its most common colour) and
// its darkest or lightest pixel away from it: the text's contrast.
double contrast(const QImage& img, const QRect& r) {
    std::map<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) ++counts[img.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (auto [c, n] : counts)
        if (n > most) most = n, background = c;
    double best = 0;
    for (auto [c, n] : counts) best = std::max(best, std::abs(luminance(QColor(c)) - luminance(QColor(background))));
    return best;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 48));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::AlternateBase, QColor(50, 50, 50));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(60, 60, 64));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    p.setColor(QPalette::Mid, QColor(90, 90, 90));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

TEST(Theme, ADarkPaletteKeepsEveryTextReadable) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(darkPalette());
    {
        Rig rig(false);
        MainWindow& w = *rig.window;
        QCoreApplication::processEvents();
        const QImage img = w.grab().toImage();
        if (const QString dir = qEnvironmentVariable("HALVEK_GRAB_DIR"); !dir.isEmpty())
            img.save(dir + "/main_window_dark.png");
        auto at = [&](QWidget* x, QRect r) { return QRect(x->mapTo(&w, r.topLeft()), r.size()); };
        for (QTabBar* tabs : {w.upperTabs(), w.lowerTabs()})
            for (int i = 0; i < tabs->count(); ++i)
                EXPECT_GT(contrast(img, at(tabs, tabs->tabRect(i).adjusted(2, 2, -2, -1))), 120)
                    << tabs->tabText(i).toStdString();
        for (QWidget* b : {static_cast<QWidget*>(w.connectButton()), static_cast<QWidget*>(w.exitButton()),
                           static_cast<QWidget*>(w.linkStateLabel())})
            EXPECT_GT(contrast(img, at(b, b->rect().adjusted(3, 3, -3, -3))), 120) << b->metaObject()->className();
        const QRect title(w.modeGroup()->mapTo(&w, QPoint(8, 0)), QSize(120, 12));
        EXPECT_GT(contrast(img, title), 120);
        // The colours the validator's panes and the bill list are known by stay.
        EXPECT_EQ(img.pixelColor(w.drawingArea()->mapTo(&w, QPoint(2, 2))), QColor(0, 0, 0));
        EXPECT_EQ(w.billList()->palette().color(QPalette::Base), QColor(221, 221, 221));
    }
    QApplication::setPalette(before);
}

TEST(Messages, ADevicePathStaysOnOneLine) {
    const std::string path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const Message m{"Info", "No Connection", Buttons::Ok, Icon::None, "cannot open " + path + ": Permission denied"};
    int lines = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* detail = box->findChild<QLabel*>("qt_msgbox_informativelabel");
        ASSERT_NE(detail, nullptr);
        const int textWidth = detail->fontMetrics().horizontalAdvance(detail->text());
        lines = detail->width() >= textWidth ? 1 : 2;
        box->accept();
    });
    runMessageBox(nullptr, m);
    EXPECT_EQ(lines, 1);
}

TEST(Messages, TheSettingsWarningNamesTheWholePath) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/plain") << "x";  // a file where a folder should be: unwritable, even for root
    const std::string here = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    const std::string absolute = std::filesystem::current_path().string();
    std::vector<Message> said;
    {
        WindowOptions o;
        o.settingsPath = "plain/halvek.ini";
        MainWindow w(o);
        w.setMessageHook([&](const Message& m) {
            said.push_back(m);
            return Answer::Ok;
        });
        pumpUntil([&] { return !said.empty(); });
    }
    std::filesystem::current_path(here);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].detail.find(absolute + "/plain/halvek.ini"), std::string::npos) << said[0].detail;
}

struct ProgramRun {
    int code;
    std::string output;
};

ProgramRun runHalvek(const std::string& environment, const std::string& args) {
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment + " " HALVEK_BIN " " + args + " 2>&1";
    ProgramRun r{-1, {}};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(CommandLine, TheProgramChecksItsOptionsAndItsDisplayFirst) {
    const ProgramRun noDisplay = runHalvek("", "");
    EXPECT_EQ(noDisplay.code, 1);
    EXPECT_EQ(noDisplay.output, "halvek: no display; use halvek-cli for the console tool\n");
    const ProgramRun bad = runHalvek("", "--bogus");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.output.find("unknown option --bogus"), std::string::npos);
    EXPECT_NE(bad.output.find("usage: halvek"), std::string::npos);
    const ProgramRun badCom = runHalvek("", "--com 1");
    EXPECT_EQ(badCom.code, 2);
    const ProgramRun noJournal = runHalvek("", "--journal");
    EXPECT_EQ(noJournal.code, 2);
    EXPECT_NE(noJournal.output.find("--journal takes FILE"), std::string::npos);
    const ProgramRun version = runHalvek("", "--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.output, "Halvek Version 1.2\n");
}

TEST(CommandLine, ADisplayIsFoundWhereQtWouldFindOne) {
    struct Case {
        std::vector<const char*> args;
        const char *qpa, *display, *wayland;
        bool available;
    };
    const Case cases[] = {
        {{}, nullptr, nullptr, nullptr, false},
        {{}, nullptr, ":0", nullptr, true},
        {{}, nullptr, "", "wayland-0", true},
        {{}, "offscreen", nullptr, nullptr, true},
        {{}, "xcb", nullptr, "wayland-0", false},
        {{}, "wayland;xcb", ":1", nullptr, true},
        {{"-platform", "offscreen"}, "xcb", nullptr, nullptr, true},
        {{"-display", ":2"}, nullptr, nullptr, nullptr, true},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"halvek"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandLine line = parseCommandLine(static_cast<int>(argv.size()), argv.data());
        ASSERT_EQ(line.action, CommandLine::Action::Run);
        EXPECT_EQ(displayAvailable(line, c.qpa, c.display, c.wayland), c.available)
            << (c.qpa ? c.qpa : "-") << " " << (c.display ? c.display : "-");
    }
}

}  // namespace
}  // namespace halvek::ui::test
