#pragma once

#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "firmware/link_access.h"
#include "firmware/upload_session.h"
#include "ui/accessories/tool_window.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace halvek::ui {

// "QRV Firmware Upload": reads the unit's program into a firmware file. The
// packets are handled as they come; nothing on their path waits for the user.
class FirmwareUploadWindow : public ToolWindow, public UploadListener {
  public:
    FirmwareUploadWindow(QWidget* parent, LinkController& controller, UserInterface& ui);
    ~FirmwareUploadWindow() override;

    // Tests choose the file here instead of a file dialog (empty: cancelled).
    void setFileChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    const UploadSession& session() const { return session_; }
    QString statusText() const;
    QString packetLineText() const;
    QPushButton* startButton() const { return start_; }
    void pressStart();

    // UploadListener.
    void groupCaptionShown(const std::string& text) override;
    void statusShown(const std::string& text) override;
    void packetLineShown(const std::string& text) override;
    void progressShown(uint32_t done, uint32_t total) override;
    void buttonsEnabled(bool on) override;
    void finished(const std::string& path, uint32_t crc32) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void stop();

    LinkController& controller_;
    UserInterface& ui_;
    LinkAccess link_;
    UploadSession session_;
    QTimer timer_;
    std::function<QString()> chooser_;
    std::string revision_;
    bool stopped_ = false;
    QGroupBox* group_;
    QLabel* status_;
    QGroupBox* packetLine_;
    QProgressBar* progress_;
    QPushButton* start_;
};

}  // namespace halvek::ui
