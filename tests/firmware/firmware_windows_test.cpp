// The two firmware windows over the simulated unit, opened from the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <fstream>
#include <iterator>

#include "../ui/window_rig.h"
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
    // The controller polls again.
    EXPECT_TRUE(w.controller().timerRunning());
}

TEST(FirmwareWindows, DownloadFromAPollingControllerLoadsAndVerifiesTheFile) {
    Rig rig;
    MainWindow& w = *rig.window;
    const FirmwareFile f = sim::program::generate({0, 1}, "L8VQA079");
    const std::string path = rig.dir + "/NEW.L8F";
    const Bytes bytes = f.toBytes();
    ASSERT_TRUE(halvek::test::writeByteFile(path, bytes));
    rig.sim.execute("loader-on-download");
    ASSERT_TRUE(rig.connect());

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
    EXPECT_EQ(window->stateText(), "  download successful, verified");
    EXPECT_EQ(window->instructionText(), "Download finished. EXIT this window and CONNECT to resume.");
    rig.sim.withModel([&](sim::ValidatorModel& m) { EXPECT_EQ(m.program().toBytes(), f.toBytes()); });
    window->close();
    EXPECT_FALSE(w.controller().lineLent());
    for (const Message& m : rig.messages) ADD_FAILURE() << m.title << ": " << m.text;
}

}  // namespace
}  // namespace halvek::ui::test
