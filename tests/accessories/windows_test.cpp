#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "link/controller_host.h"
#include "sim/printer/printer_sim.h"
#include "support/pty_pair.h"
#include "support/recording_ui.h"
#include "ui/accessories/accept_all_window.h"
#include "ui/accessories/cassette_controls_window.h"
#include "ui/accessories/cassette_data_window.h"
#include "ui/accessories/ticket_printer_window.h"

namespace halvek::ui {
namespace {

// The offscreen grab may round a colour by a step or two.
bool near(const QColor& got, const QColor& want) {
    return std::abs(got.red() - want.red()) <= 3 && std::abs(got.green() - want.green()) <= 3 &&
           std::abs(got.blue() - want.blue()) <= 3;
}

struct WindowsFixture : testing::Test {
    WindowsFixture() { host.controller.startTimer(); }
    template <class W>
    QImage shown(W& w) {
        w.show();
        QCoreApplication::processEvents();
        return w.grab().toImage();
    }
    test::RecordingUi ui;
    ControllerHost host{ui};
};

TEST_F(WindowsFixture, CassetteDataPaintsBothViewsAndKeepsItsLog) {
    const std::string log = testing::TempDir() + "/halvek-ids-" + std::to_string(::getpid()) + ".txt";
    std::ofstream(log, std::ios::binary) << "0000000041\r\r\n";
    CassetteDataSession session(host.controller, ui);
    host.stores.bills.values[1] = 5;
    auto* w = new CassetteDataWindow(nullptr, session, [&] { return std::optional<std::string>(log); });
    QTest::mouseClick(w->logBox(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(w->logBox()->isChecked());
    EXPECT_EQ(w->list()->count(), 1);
    EXPECT_EQ(w->idField()->text(), "42");
    // A number the cassette cannot hold stays on screen, refused, and is not
    // swapped for the last good one when the window redraws.
    w->idField()->selectAll();
    QTest::keyClicks(w->idField(), "4294967296");
    session.onCassetteDataRefreshed();
    EXPECT_EQ(w->idField()->text(), "4294967296");
    EXPECT_FALSE(session.idRefusal().empty());
    QTest::keyClick(w->idField(), Qt::Key_Backspace);
    EXPECT_TRUE(session.idRefusal().empty());
    EXPECT_EQ(session.idNumber(), 429496729u);
    host.stores.cassette.billCounts[1] = 3;

    QImage bills = shown(*w);
    EXPECT_EQ(w->size(), QSize(547, 274));
    EXPECT_TRUE(near(bills.pixelColor(250, 215), QColor(Qt::black)));    // the panel
    EXPECT_TRUE(near(bills.pixelColor(195, 120), QColor(0, 159, 159)));  // a grid line of the bill view
    EXPECT_TRUE(near(bills.pixelColor(400, 50), QColor(0, 159, 159)));   // its top line
    w->tabs()->setCurrentIndex(1);
    QImage faults = w->grab().toImage();
    EXPECT_TRUE(near(faults.pixelColor(225, 120), QColor(0, 159, 159)));  // a grid line of the fault view
    EXPECT_TRUE(near(faults.pixelColor(195, 120), QColor(Qt::black)));
    w->close();  // deleted

    // Opened again: the log chosen earlier, not CassId.txt.
    auto* again = new CassetteDataWindow(nullptr, session);
    EXPECT_TRUE(again->logBox()->isChecked());
    EXPECT_EQ(again->list()->count(), 1);
    EXPECT_EQ(session.logPath(), log);
    delete again;
    std::filesystem::remove(log);
}

TEST_F(WindowsFixture, CassetteControlsShowTheSensor) {
    CassetteControlsSession session(host.controller, ui);
    CassetteControlsWindow w(nullptr, session);
    session.onSensorReply(1);
    const QImage image = shown(w);
    EXPECT_EQ(image.size(), QSize(330, 130));
    const auto labels = w.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "CLOSED"; }));
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "ATTACHED"; }));
}

TEST_F(WindowsFixture, TicketPrinterWindowFollowsThePort) {
    sim::PrinterSim printer;
    ASSERT_TRUE(printer.start());
    host.ports.set(3, printer.devicePath());
    TicketPrinterSession session(host.ports, ui, host.stores.events);
    ASSERT_TRUE(session.setPortIndex(2));
    {
        TicketPrinterWindow w(nullptr, session);
        shown(w);
        EXPECT_EQ(w.openButton()->text(), "OPEN PORT");
        EXPECT_FALSE(w.printButton()->isEnabled());
        QTest::mouseClick(w.openButton(), Qt::LeftButton);
        EXPECT_EQ(w.openButton()->text(), "close port");
        EXPECT_TRUE(w.printButton()->isEnabled());
        QTest::keyClicks(w.digitsField(), "01234567890123456789012345");
        EXPECT_EQ(w.digitsField()->text().size(), 24);
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        const QImage image = w.grab().toImage();
        EXPECT_EQ(image.size(), QSize(402, 204));
    }
    EXPECT_TRUE(session.isOpen());  // the window closed, the port did not
    ASSERT_TRUE(test::eventually([&] { return printer.elements().size() >= 28; }));
    EXPECT_EQ(printer.elements()[9], "GS k 7 24 012345678901234567890123");
}

// A printer failure is told in one line that fits, in a red that reads on a
// light or a dark window, with the whole text and the reason in the tip.
TEST_F(WindowsFixture, TicketPrinterFailureReadsInEitherTheme) {
    TicketPrinterSession session(host.ports, ui, host.stores.events);
    const QPalette before = QApplication::palette();
    for (const QColor window : {QColor(240, 240, 240), QColor(45, 45, 48)}) {
        QPalette p = before;
        p.setColor(QPalette::Window, window);
        QApplication::setPalette(p);
        TicketPrinterWindow w(nullptr, session);
        shown(w);
        const std::string text = "ticket not printed: 012345678901234567890123";
        w.printFailed(text, "the printer did not read for a second");
        QLabel* problem = nullptr;
        for (QLabel* l : w.findChildren<QLabel*>())
            if (l->toolTip().startsWith("ticket not printed")) problem = l;
        ASSERT_NE(problem, nullptr);
        EXPECT_LE(problem->fontMetrics().horizontalAdvance(problem->text()), problem->width());
        EXPECT_EQ(problem->toolTip().toStdString(), text + "\nthe printer did not read for a second");
        const int contrast = std::abs(problem->palette().color(QPalette::WindowText).lightness() - window.lightness());
        EXPECT_GE(contrast, 90) << window.name().toStdString();
    }
    QApplication::setPalette(before);
}

TEST_F(WindowsFixture, AcceptAllWindowShowsTheRunningCountdownWhenReopened) {
    AcceptAllSession session(host.controller, ui);
    AcceptAllTicker ticker(nullptr, session);
    {
        AcceptAllWindow w(nullptr, session);
        shown(w);
        w.periodField()->setText("");
        QTest::keyClicks(w.periodField(), "5");
        EXPECT_EQ(session.period(), 5);
        // An emptied box is no period: START says so and sends nothing.
        QTest::keyClick(w.periodField(), Qt::Key_Backspace);
        const auto buttons = w.findChildren<QPushButton*>();
        QPushButton* start =
            *std::find_if(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->text() == "START"; });
        QTest::mouseClick(start, Qt::LeftButton);
        EXPECT_FALSE(session.running());
        EXPECT_EQ(ui.messages.back().text, "Please enter a positive integer.");
        QTest::keyClicks(w.periodField(), "5");
        ASSERT_TRUE(session.start());
        EXPECT_TRUE(ticker.active());
        session.onTick();
    }
    AcceptAllWindow again(nullptr, session);
    const QImage image = shown(again);
    EXPECT_EQ(image.size(), QSize(348, 146));
    const auto labels = again.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return l->text() == "NO VALIDATING - ACCEPT ALL MODE"; }));
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "4"; }));
    EXPECT_FALSE(again.periodField()->isEnabled());
    session.onCouponStacked();
    EXPECT_FALSE(ticker.active());
    EXPECT_TRUE(again.periodField()->isEnabled());
}

}  // namespace
}  // namespace halvek::ui
