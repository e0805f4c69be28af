#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "ui/capture/capture_option_window.h"
#include "firmware/crc_test/crc_texts.h"
#include "link/controller_host.h"
#include "ui/pages/crc/crc_page.h"
#include "ui/pages/view_data/view_data_painter.h"
#include "ui/pages/view_data/view_data_strip.h"
#include "support/recording_ui.h"

namespace halvek::ui {
namespace {

namespace fs = std::filesystem;

QPushButton* button(QWidget* w, const QString& text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// Whether any pixel of the rectangle has the colour.
bool shows(const QImage& img, const QRect& r, QColor c) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) == c) return true;
    return false;
}

QImage grab(const ViewDataView& view) {
    QImage img(630, 418, QImage::Format_RGB32);
    img.fill(Qt::gray);
    QPainter p(&img);
    paintViewData(p, view);
    return img;
}

CaptureList::Entries entriesOf(const std::vector<uint8_t>& bytes) {
    CaptureList::Entries e;
    e.fill(CaptureList::kEmpty);
    std::copy(bytes.begin(), bytes.end(), e.begin());
    return e;
}

struct Dialogs {
    QString file;
    std::vector<Message> said;
    CaptureDialogs hooks() {
        return {[this](QWidget*) { return file; }, [this](QWidget*, const Message& m) { said.push_back(m); }};
    }
};

fs::path tempDir() {
    const fs::path d = fs::temp_directory_path() / ("halvek_ui_capture_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

TEST(ViewDataPage, CellsInTheirColoursOnStripedRowsAndWrapped) {
    ViewDataView view;
    // A standard command of length 6 and its reply: six cells in the controller colour, then the validator's.
    view.update(entriesOf({0x02, 0x06, 0xE0, 0x01, 0x02, 0xC7, 0x02, 0x05, 0x50, 0x00, 0x57}), 1, false);
    QImage img = grab(view);
    const auto cell = [](int i, int row) { return QRect(26 + 20 * i, 202 + 16 * row, 20, 16); };
    EXPECT_TRUE(shows(img, cell(5, 0), QColor(0, 170, 170)));
    EXPECT_FALSE(shows(img, cell(5, 0), QColor(255, 255, 0)));
    EXPECT_TRUE(shows(img, cell(6, 0), QColor(255, 255, 0)));
    EXPECT_EQ(img.pixelColor(20, 250), QColor(Qt::black)) << "the drawing area is black";

    // 300 more cells: the rows stripe black and grey, and the eleventh row
    // overwrites the first.
    view.update(entriesOf(std::vector<uint8_t>(300, 0x00)), 2, false);  // length 0: no reply boundary
    img = grab(view);
    EXPECT_EQ(img.pixelColor(604, 202 + 16 + 1), QColor(51, 51, 51));
    EXPECT_EQ(img.pixelColor(604, 202 + 32 + 1), QColor(Qt::black));
    EXPECT_FALSE(shows(img, cell(12, 0), QColor(255, 255, 0))) << "the first exchange's reply is overwritten";
}

TEST(ViewDataPage, StripColoursClearAndCaptureSwitch) {
    ViewDataView view;
    ProtocolCapture capture;
    Dialogs dialogs;
    int repaints = 0;
    QColor chosen(255, 0, 0);
    QColor offered;
    ViewDataStrip strip(
        nullptr, view, capture, [&] { ++repaints; }, dialogs.hooks(),
        [&](QWidget*, const QColor& initial) {
            offered = initial;
            return chosen;
        });
    view.update(entriesOf({0x02, 0x04, 0xCC, 0x2E}), 1, false);
    QTest::mouseClick(button(&strip, "val.-color"), Qt::LeftButton);
    EXPECT_EQ(offered, QColor(128, 128, 128));
    EXPECT_EQ(view.validatorColour(), 0xFF0000u);
    EXPECT_GE(repaints, 1);
    view.update(entriesOf({0x02, 0x04, 0xCC, 0x2E}), 1, false);
    EXPECT_FALSE(view.rows()[0].used) << "cleared until the next exchange";

    QTest::mouseClick(strip.stopButton(), Qt::LeftButton);
    EXPECT_EQ(strip.stopButton()->text(), "Resume Display");
    EXPECT_TRUE(view.paused());
    QTest::mouseClick(strip.stopButton(), Qt::LeftButton);
    EXPECT_EQ(strip.stopButton()->text(), "Stop Display");

    const fs::path dir = tempDir();
    EXPECT_EQ(strip.saveButton()->text(), "Save_Data OFF");
    dialogs.file = QString::fromStdString((dir / "no" / "q7.TXT").string());
    QTest::mouseClick(strip.saveButton(), Qt::LeftButton);
    EXPECT_EQ(strip.saveButton()->text(), "Save_Data OFF");
    EXPECT_FALSE(strip.saveButton()->isChecked());
    ASSERT_EQ(dialogs.said.size(), 1u);
    EXPECT_NE(dialogs.said[0].detail.find("No such file or directory"), std::string::npos);

    dialogs.file = QString::fromStdString((dir / "q7.TXT").string());
    QTest::mouseClick(strip.saveButton(), Qt::LeftButton);
    EXPECT_TRUE(capture.active());
    EXPECT_EQ(strip.saveButton()->text(), "Save_Data ON");
    QTest::mouseClick(strip.saveButton(), Qt::LeftButton);
    EXPECT_FALSE(capture.active());
    EXPECT_EQ(strip.saveButton()->text(), "Save_Data OFF");
    fs::remove_all(dir);
}

TEST(CaptureOptionWindow, LimitChangesAtOnceAndTheButtonOpensOrCloses) {
    ProtocolCapture capture;
    Dialogs dialogs;
    const fs::path dir = tempDir();
    dialogs.file = QString::fromStdString((dir / "q7_data_file.TXT").string());
    {
        CaptureOptionWindow w(nullptr, capture, dialogs.hooks());
        EXPECT_EQ(w.windowTitle(), "Save Protocol Data ( option )");
        EXPECT_EQ(w.fileButton()->text(), "Open File");
        auto* limits = w.findChild<QComboBox*>("limit");
        ASSERT_NE(limits, nullptr);
        EXPECT_EQ(limits->itemText(0), "51.2 MB");
        limits->setCurrentIndex(2);
        EXPECT_EQ(capture.limit(), 153'600'000u);
        QTest::mouseClick(w.fileButton(), Qt::LeftButton);
        EXPECT_TRUE(capture.active());
    }
    CaptureOptionWindow again(nullptr, capture, dialogs.hooks());
    EXPECT_EQ(again.fileButton()->text(), "Close File");
    EXPECT_EQ(again.findChild<QComboBox*>("limit")->currentIndex(), 2);
    QTest::mouseClick(again.fileButton(), Qt::LeftButton);
    EXPECT_FALSE(capture.active());
    fs::remove_all(dir);
}

TEST(CrcPage, AFileAloneIsChecksummedAtOnce) {
    test::RecordingUi ui;
    ControllerHost host(ui);
    const fs::path dir = tempDir();
    std::ofstream(dir / "fw.L8F") << "123456789";
    std::vector<Message> said;
    CrcPage page(
        nullptr, host.controller, host.stores,
        [&](QWidget*) { return QString::fromStdString((dir / "fw.L8F").string()); },
        [&](QWidget*, const Message& m) { said.push_back(m); });
    auto labels = [&](const QString& text) {
        for (QLabel* l : page.findChildren<QLabel*>())
            if (l->text() == text) return true;
        return false;
    };
    EXPECT_TRUE(labels("no file selected"));
    page.findChildren<QCheckBox*>()[0]->click();  // "Program" off
    page.findChildren<QCheckBox*>()[1]->click();  // "*.L8F File" on: the dialog answers
    EXPECT_TRUE(labels("fw.L8F"));
    QTest::mouseClick(button(&page, "Run CRC"), Qt::LeftButton);
    EXPECT_TRUE(labels("FEE8"));
    EXPECT_TRUE(labels(crctext::kFileDone));
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(host.controller.requestState(0x62), RequestState::Idle) << "nothing asked of the unit";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace halvek::ui
