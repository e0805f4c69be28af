// What the main window wires in: the tool windows its menu opens, the
// protocol capture, the View Data and CRC pages, the kept COM devices.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <fstream>
#include <map>

#include "ui/capture/capture_option_window.h"
#include "ui/main/page_registry.h"
#include "ui/pages/crc/crc_page.h"
#include "ui/pages/view_data/view_data_strip.h"
#include "widget_checks.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

QAction* menuEntry(MainWindow& w, const QString& text) {
    for (QAction* top : w.menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (QString(a->text()).remove('&') == text) return a;
    return nullptr;
}

TEST(Wiring, EachMenuEntryOpensItsWindow) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    std::map<QString, QString> opened;
    forEveryMenuWindow(*rig.window, [&](const QString& entry, QWidget* w) { opened[entry] = w->windowTitle(); });
    const std::pair<const char*, const char*> expected[] = {
        {"Create Log File", "Diagnostics Log File"},
        {"BarCode Printer", "Ithaca 800 BarCode printer"},
        {"Kestrel_Cassette_Data", "L8V Kestrel Cassette Data"},
        {"Kestrel Cassette Cmd", "Kestrel Cassette Controls"},
        {"Poll Timer Interval", "Poll Timer Interval ( ms )"},
        {"Save Protocol Data Option", "Save Protocol Data ( option )"},
        {"Varnik Optonal Cmd", "Varnik Optional Cmd"},
        {"Serial Port Check...", "Serial Port Check"},
        {"About Halvek...", "About Halvek"},
    };
    for (const auto& [entry, title] : expected) EXPECT_EQ(opened[entry].toStdString(), title) << entry;
}

TEST(Wiring, AToolWindowOpensOnceAndIsForgottenWhenClosed) {
    Rig rig(false);
    QAction* printer = menuEntry(*rig.window, "BarCode Printer");
    ASSERT_NE(printer, nullptr);
    printer->trigger();
    QWidget* first = rig.window->printerWindow();
    ASSERT_NE(first, nullptr);
    printer->trigger();
    EXPECT_EQ(rig.window->printerWindow(), first);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.window->printerWindow(), nullptr);
    printer->trigger();
    EXPECT_NE(rig.window->printerWindow(), nullptr);
}

TEST(Wiring, TheLogFileNeedsAConnection) {
    Rig rig(false);
    menuEntry(*rig.window, "Create Log File")->trigger();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "No connection");
}

// Presses the capture option window's file button from inside its loop.
void pressFileButton(MainWindow& w) {
    QTimer::singleShot(0, [] {
        auto* window = qobject_cast<CaptureOptionWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        window->fileButton()->click();
    });
    menuEntry(w, "Save Protocol Data Option")->trigger();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Wiring, TheCaptureWindowWritesTheTrafficToAFile) {
    Rig rig;
    const std::string path = rig.dir + "/traffic.TXT";
    CaptureDialogs dialogs;
    dialogs.chooseFile = [&](QWidget*) { return QString::fromStdString(path); };
    dialogs.say = [&](QWidget*, const Message& m) { rig.messages.push_back(m); };
    rig.window->setCaptureDialogs(dialogs);
    ASSERT_TRUE(rig.connect());
    pressFileButton(*rig.window);
    ASSERT_TRUE(rig.window->capture().active());
    ASSERT_TRUE(pumpUntil([&] { return readFile(path).find("MSG[ ") != std::string::npos; }));
    // The View Data switch shows it, and closing from the window stops the file.
    rig.window->lowerTabs()->setCurrentIndex(page::ViewData);
    auto* strip = qobject_cast<ViewDataStrip*>(rig.window->lowerPageWidget());
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(strip->saveButton()->isChecked());
    pressFileButton(*rig.window);
    EXPECT_FALSE(rig.window->capture().active());
    EXPECT_FALSE(strip->saveButton()->isChecked());
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("T( ", 0), 0u);
    EXPECT_NE(text.find("ms)CMD[ "), std::string::npos);
    EXPECT_TRUE(rig.messages.empty());
}

TEST(Wiring, TheViewDataPagePaintsTheExchangedBytes) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    rig.window->lowerTabs()->setCurrentIndex(page::ViewData);
    ViewDataView& view = rig.window->viewData();
    ASSERT_TRUE(pumpUntil([&] {
        rig.window->drawingArea()->repaint();
        return !view.rows().empty() && view.rows()[0].used && view.rows()[0].cells.size() >= 4;
    }));
    const QImage img = rig.window->centralWidget()->grab().toImage();
    const ViewDataView::Row& row = view.rows()[0];
    // The cells' text is drawn in the controller's and the unit's colours.
    int coloured = 0;
    for (const ViewDataView::Cell& c : row.cells)
        for (int x = c.x; x < c.x + ViewDataView::kCellWidth; ++x)
            for (int y = row.y; y < row.y + ViewDataView::kRowHeight; ++y) {
                const QColor p = img.pixelColor(x, y);
                if (p.green() > 120 && p.red() < p.green()) ++coloured;
            }
    EXPECT_GT(coloured, 20);
}

TEST(Wiring, TheCrcPageIsShownOnItsTab) {
    Rig rig(false);
    rig.window->upperTabs()->setCurrentIndex(page::Crc);
    EXPECT_NE(qobject_cast<CrcPage*>(rig.window->upperPageWidget()), nullptr);
}

TEST(Wiring, TheKeptDeviceStandsBehindItsComEntryAndTheCommandLineWins) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/halvek.ini") << "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/ttyUSB7\r\n";
    WindowOptions o;
    o.settingsPath = dir + "/halvek.ini";
    {
        MainWindow w(o);
        EXPECT_EQ(w.controller().portPath(), "/dev/ttyUSB7");
    }
    o.comPaths = {{2, "/dev/ttyACM3"}};
    MainWindow w(o);
    EXPECT_EQ(w.controller().portPath(), "/dev/ttyACM3");
}

}  // namespace
}  // namespace halvek::ui::test
