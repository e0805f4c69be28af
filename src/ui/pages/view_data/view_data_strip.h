#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

#include "ui/capture/capture_dialogs.h"
#include "capture/view_data_view.h"

class QPushButton;

namespace halvek::ui {

// The View data page's controls below the drawing area: stop and resume the
// display, CLEAR, the two colours, and the capture switch. The view and the
// capture outlive the strip; repaint asks for the drawing area to be drawn again.
class ViewDataStrip : public QWidget {
    Q_OBJECT
  public:
    using ColourChooser = std::function<QColor(QWidget* parent, const QColor& initial)>;

    ViewDataStrip(QWidget* parent, ViewDataView& view, ProtocolCapture& capture, std::function<void()> repaint,
                  CaptureDialogs dialogs = CaptureDialogs::standard(), ColourChooser colourChooser = {});
    ~ViewDataStrip() override;
    // The capture opened or closed elsewhere (the option window, the size limit).
    void captureChanged();

    QPushButton* stopButton() const { return stop_; }
    QPushButton* saveButton() const { return save_; }

  private:
    void chooseColour(bool controller);

    ViewDataView& view_;
    ProtocolCapture& capture_;
    std::function<void()> repaint_;
    CaptureDialogs dialogs_;
    ColourChooser chooser_;
    QPushButton* stop_;
    QPushButton* save_;
};

}  // namespace halvek::ui
