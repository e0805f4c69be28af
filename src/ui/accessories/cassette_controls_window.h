#pragma once

#include "accessories/cassette_controls_session.h"
#include "ui/accessories/tool_window.h"

class QLabel;

namespace halvek::ui {

// "Kestrel Cassette Controls": Read Sensor, Cycle Cassette and what the sensor said.
class CassetteControlsWindow : public ToolWindow, public CassetteControlsListener {
    Q_OBJECT
  public:
    CassetteControlsWindow(QWidget* parent, CassetteControlsSession& session);
    ~CassetteControlsWindow() override;
    void cassetteControlsChanged() override;

  private:
    CassetteControlsSession& session_;
    QLabel* sensor_;
    QLabel* cassette_;
};

}  // namespace halvek::ui
