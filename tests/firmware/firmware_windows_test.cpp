// The two firmware windows over the simulated unit, opened from the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <iterator>

#include "../ui/window_rig.h"
#include "firmware/crc.h"
#include "firmware/firmware_texts.h"
#include "firmware/link_access.h"
#include "sim/loader/program_image.h"
#include "support/byte_file.h"
#include "ui/firmware/firmware_download_window.h"
#include "ui/firmware/firmware_upload_window.h"

namespace halvek::ui::test {
namespace {

using Bytes = std::vector<uint8_t>;

void trigger(MainWindow& w, const QString& text) {
    for (QAction* top : w.menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (QString(a->text()).remove('&') == text) return a->trigger();
    FAIL() << "no menu entry " << text.toStdString();
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool saidOnce(const std::vector<Message>& messages, const std::string& title, const std::string& text) {
    return std::count_if(messages.begin(), messages.end(),
                         [&](const Message& m) { return m.title == title && m.text == text; }) == 1;
}

TEST(FirmwareWindows, TheMenuGuardsWhileTheUnitDoesNotAnswer) {
    Rig rig(false);
    MainWindow& w = *rig.window;
    Answer answer = Answer::Cancel;
    w.setMessageHook([&](const Message& m) {
        rig.messages.push_back(m);
        return m.buttons == Buttons::OkCancel ? answer : Answer::Ok;
    });

    trigger(w, "Upgrade Firmware");
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Info");
    EXPECT_EQ(rig.messages[0].text, "Power up validator with switches set for download mode");
    EXPECT_EQ(rig.messages[0].buttons, Buttons::OkCancel);
    EXPECT_FALSE(w.downloadWindow());

    trigger(w, "Upload Firmware");
    EXPECT_TRUE(saidOnce(rig.messages, "Info", "No connection"));
    EXPECT_FALSE(w.uploadWindow());

    // OK opens the window, which looks for the loader on a line that is not there.
    answer = Answer::Ok;
    trigger(w, "Upgrade Firmware");
    ASSERT_TRUE(w.downloadWindow());
    EXPECT_EQ(w.downloadWindow()->windowTitle(), "QRV Firmware Upgrade Program.");
    EXPECT_TRUE(pumpUntil([&] { return saidOnce(rig.messages, "Info", "failed connection rate change"); }));
    EXPECT_EQ(w.downloadWindow()->stateText(), "  download failed.");
    EXPECT_TRUE(w.controller().lineLent());
    // A second choice raises the one window.
    FirmwareDownloadWindow* first = w.downloadWindow();
    trigger(w, "Upgrade Firmware");
    EXPECT_EQ(w.downloadWindow(), first);
    first->close();
    EXPECT_FALSE(w.controller().lineLent());

    // Asked for the loader while the controller does not poll.
    LinkAccess(w.controller(), w).requestDownload();
    EXPECT_TRUE(saidOnce(rig.messages, "Info", "You have to connect first to download new program"));
}

// An answering unit is sent to its loader only for a file that passed its
// checks: opening the window, cancelling the file choice, a bad file and Esc
// all leave it running its program, and nothing is said on closing.
TEST(FirmwareWindows, AnAnsweringUnitStaysInServiceUntilACheckedFileIsChosen) {
    Rig rig;
    MainWindow& w = *rig.window;
    ASSERT_TRUE(rig.connect());
    const std::string bad = rig.dir + "/SHORT.L8F";
    ASSERT_TRUE(halvek::test::writeByteFile(bad, Bytes(100, 0x4D)));
    trigger(w, "Upgrade Firmware");
    QPointer<FirmwareDownloadWindow> window = w.downloadWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->downloadButton()->isEnabled());
    EXPECT_FALSE(w.controller().lineLent());
    QString chosen;
    window->setFileChooser([&] { return chosen; });
    window->downloadButton()->click();  // cancelled
    EXPECT_EQ(window->stateText(), "  ready, no file selected ");
    chosen = QString::fromStdString(bad);
    window->downloadButton()->click();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].title, "Info");
    EXPECT_NE(rig.messages[0].text.find("SHORT.L8F"), std::string::npos) << rig.messages[0].text;
    // The controller polls on meanwhile and the unit never leaves its program
    // ("Download Firmware" would have gone out at the next tick).
    EXPECT_FALSE(pumpUntil([&] { return rig.sim.inLoader() || w.controller().lineLent(); }, 1s));
    EXPECT_TRUE(w.controller().timerRunning());
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] { return !window; }));
    EXPECT_EQ(rig.messages.size(), 1u);
    EXPECT_TRUE(w.controller().linkConnected());
    EXPECT_FALSE(rig.sim.inLoader());
}

// Closed once the unit has gone to its loader but before it was loaded: the
// user is told the unit waits there and how to get it back.
TEST(FirmwareWindows, ClosingWithTheUnitInItsLoaderSaysHowToGetItBack) {
    Rig rig;
    MainWindow& w = *rig.window;
    const std::string path = rig.dir + "/NEW.L8F";
    ASSERT_TRUE(halvek::test::writeByteFile(path, sim::program::generate({0, 1}, "L8VQA079").toBytes()));
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.sim.execute("mute connect"), "");  // the loader keeps the download from going on
    trigger(w, "Upgrade Firmware");
    QPointer<FirmwareDownloadWindow> window = w.downloadWindow();
    window->setFileChooser([&] { return QString::fromStdString(path); });
    window->downloadButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return rig.sim.inLoader(); }, 20s));
    window->close();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text,
              "The validator waits in its download loader and does not run its program. "
              "Switch it off and on again (download switches off), then press CONNECT.");
}

TEST(FirmwareWindows, UploadWritesTheUnitsProgramAndClosesTheWindow) {
    Rig rig;
    MainWindow& w = *rig.window;
    ASSERT_TRUE(rig.connect());
    trigger(w, "Upload Firmware");
    QPointer<FirmwareUploadWindow> window = w.uploadWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "QRV Firmware Upload");
    const std::string path = rig.dir + "/FW.L8F";
    window->setFileChooser([&] { return QString::fromStdString(path); });
    window->pressStart();
    EXPECT_FALSE(window->startButton()->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return !window; }, 120s)) << window->statusText().toStdString();
    EXPECT_TRUE(saidOnce(rig.messages, "Halvek", "   Firmware Upload Finished  "));
    const Bytes expected = rig.sim.withModel([](sim::ValidatorModel& m) { return m.program().toBytes(); });
    EXPECT_EQ(readBytes(path), expected);
    // The box tells the written file's checksum.
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", crc32(0, expected));
    EXPECT_EQ(rig.messages.back().detail, path + " written, CRC_32 " + crc);
    // The controller polls again.
    EXPECT_TRUE(w.controller().timerRunning());
}

// The window's whole road, twice in one run of the simulated unit (which goes
// to its loader at every "Download Firmware" by itself): loaded, read back and
// connected again; then a unit that never gives its checksum.
TEST(FirmwareWindows, DownloadFromAPollingControllerLoadsAndVerifiesTheFileTwice) {
    Rig rig;
    MainWindow& w = *rig.window;
    const FirmwareFile f = sim::program::generate({0, 1}, "L8VQA079");
    const std::string path = rig.dir + "/NEW.L8F";
    const Bytes bytes = f.toBytes();
    ASSERT_TRUE(halvek::test::writeByteFile(path, bytes));
    ASSERT_TRUE(rig.connect());
    w.controller().stores().crc.seed32 = 0x12345678;  // the CRC page's, not the check's

    struct Round {
        const char* scenario;
        const char* state;
    } rounds[] = {
        {"", "  download successful, verified"},
        {"ignore 65", "  download successful, not verified"},  // "Read CRC 32" never answered
    };
    for (const Round& round : rounds) {
        SCOPED_TRACE(round.state);
        if (*round.scenario) {
            EXPECT_EQ(rig.sim.execute(round.scenario), "");
        }
        trigger(w, "Upgrade Firmware");
        QPointer<FirmwareDownloadWindow> window = w.downloadWindow();
        ASSERT_TRUE(window);
        EXPECT_TRUE(rig.messages.empty());  // answering: no question
        window->setFileChooser([&] { return QString::fromStdString(path); });
        ASSERT_TRUE(pumpUntil([&] { return window->downloadButton()->isEnabled(); }, 20s))
            << window->stateText().toStdString();
        window->downloadButton()->click();
        EXPECT_EQ(window->session().fileCaption(), "FILE NAME : <  NEW.L8F  > ");
        ASSERT_TRUE(pumpUntil(
            [&] {
                return window->stateText() != "  download successful" &&
                       window->session().status() == DownloadStatus::Finished;
            },
            120s))
            << window->stateText().toStdString();
        EXPECT_EQ(window->stateText(), round.state);
        // The check has connected the controller again and the unit answers it.
        EXPECT_EQ(window->instructionText(), "Download finished. Validator connected: EXIT this window.");
        EXPECT_TRUE(w.controller().linkConnected());
        EXPECT_EQ(w.controller().stores().crc.seed32, 0x12345678u);
        rig.sim.withModel([&](sim::ValidatorModel& m) { EXPECT_EQ(m.program().toBytes(), f.toBytes()); });
        window->close();
        EXPECT_FALSE(w.controller().lineLent());
        for (const Message& m : rig.messages) ADD_FAILURE() << m.title << ": " << m.text;
        ASSERT_TRUE(pumpUntil([&] { return !window; }));  // gone before the menu is chosen again
    }
}

}  // namespace
}  // namespace halvek::ui::test
