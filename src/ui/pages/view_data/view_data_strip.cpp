#include "ui/pages/view_data/view_data_strip.h"

#include <QColorDialog>
#include <QPushButton>

#include "ui/main/geometry.h"
#include "ui/main/mnemonics.h"

namespace halvek::ui {
namespace {

constexpr const char* kStop = "STOP Display";
constexpr const char* kStopAfter = "Stop Display";
constexpr const char* kResume = "Resume Display";
constexpr const char* kClear = "CLEAR";
constexpr const char* kControllerColour = "ctrlr- color";
constexpr const char* kValidatorColour = "val.-color";

QColor rgb(uint32_t v) { return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

}  // namespace

ViewDataStrip::ViewDataStrip(QWidget* parent, ViewDataView& view, ProtocolCapture& capture,
                             std::function<void()> repaint, CaptureDialogs dialogs, ColourChooser colourChooser)
    : QWidget(parent),
      view_(view),
      capture_(capture),
      repaint_(std::move(repaint)),
      dialogs_(std::move(dialogs)),
      chooser_(std::move(colourChooser)) {
    if (!chooser_) {
        // Qt's colour dialog keeps its custom colours between calls by itself.
        chooser_ = [](QWidget* p, const QColor& initial) { return QColorDialog::getColor(initial, p); };
    }
    setGeometry(dluRect(10, 234, 220, 17));  // clear of the COM choice and CONNECT
    // A new visit starts with the display running.
    view_.setPaused(false);
    view_.restart();

    stop_ = new QPushButton(kStop, this);
    stop_->setCheckable(true);
    stop_->setGeometry(dluRect(0, 1, 50, 14));
    connect(stop_, &QPushButton::toggled, this, [this](bool stopped) {
        view_.setPaused(stopped);
        setCaption(stop_, stopped ? kResume : kStopAfter);
    });
    auto* clear = new QPushButton(kClear, this);
    clear->setGeometry(dluRect(52, 1, 30, 14));
    connect(clear, &QPushButton::clicked, this, [this] {
        view_.clear();
        repaint_();
    });
    auto* controller = new QPushButton(kControllerColour, this);
    controller->setGeometry(dluRect(84, 1, 42, 14));
    connect(controller, &QPushButton::clicked, this, [this] { chooseColour(true); });
    auto* validator = new QPushButton(kValidatorColour, this);
    validator->setGeometry(dluRect(128, 1, 36, 14));
    connect(validator, &QPushButton::clicked, this, [this] { chooseColour(false); });

    save_ = new QPushButton(this);
    save_->setCheckable(true);
    save_->setGeometry(dluRect(166, 1, 54, 14));
    captureChanged();
    connect(save_, &QPushButton::clicked, this, [this] {
        if (capture_.active())
            capture_.close();
        else
            openCaptureWithDialog(this, capture_, dialogs_);
        captureChanged();
    });
}

ViewDataStrip::~ViewDataStrip() { view_.setPaused(false); }  // leaving the page resumes the display

void ViewDataStrip::captureChanged() {
    const bool on = capture_.active();
    save_->setChecked(on);
    setCaption(save_, on ? capture::kSaveDataOn : capture::kSaveDataOff);
}

void ViewDataStrip::chooseColour(bool controller) {
    const QColor c = chooser_(this, rgb(ViewDataView::kChooserStart));
    if (c.isValid()) {
        const uint32_t v = static_cast<uint32_t>(c.red()) << 16 | static_cast<uint32_t>(c.green()) << 8 |
                           static_cast<uint32_t>(c.blue());
        if (controller)
            view_.setControllerColour(v);
        else
            view_.setValidatorColour(v);
    }
    // Then as CLEAR, also when the chooser was cancelled.
    view_.clear();
    repaint_();
}

}  // namespace halvek::ui
