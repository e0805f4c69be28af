#pragma once

#include <QString>
#include <QTimer>
#include <functional>

#include "firmware/download_session.h"
#include "firmware/link_access.h"
#include "firmware/program_check.h"
#include "ui/accessories/tool_window.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace halvek::ui {

// "QRV Firmware Upgrade Program.": loads a firmware file through the unit's
// download loader. The window has the validator line from the time it looks
// for the loader; closing it gives the line back, closed (the user connects again).
class FirmwareDownloadWindow : public ToolWindow, public DownloadListener {
  public:
    FirmwareDownloadWindow(QWidget* parent, LinkController& controller, UserInterface& ui);
    ~FirmwareDownloadWindow() override;

    // Tests choose the file here instead of a file dialog (empty: cancelled).
    void setFileChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    const DownloadSession& session() const { return session_; }
    QString instructionText() const;
    QString stateText() const;
    QPushButton* downloadButton() const { return download_; }

    // DownloadListener.
    void statusShown(DownloadStatus status, const std::string& instruction, const std::string& state) override;
    void connectedShown() override;
    void downloadEnabled(bool on) override;
    void progressShown(uint32_t done, uint32_t total) override;
    void messageShown(const std::string& title, const std::string& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc closes the window as EXIT does, through closeEvent.
    void reject() override { close(); }

  private:
    void pressDownload();
    QString chooseFile();
    void chooseBeforeTakingLine();
    void takeLine();
    void tick();
    void giveLineBack();
    void verify();
    void showVerification();

    LinkController& controller_;
    UserInterface& ui_;
    LinkAccess link_;
    SerialDownloadPort port_;
    DownloadSession session_;
    ProgramCrcCheck check_;
    QTimer timer_;
    std::function<QString()> chooser_;
    bool lineLent_ = false;
    bool verifying_ = false;
    bool waitingForFile_ = false;      // the unit answers: no loader until a file is chosen
    bool startWhenConnected_ = false;  // chosen first: the download starts once the loader answers
    QGroupBox* group_;
    QLabel* instruction_;
    QLabel* state_;
    QProgressBar* progress_;
    QPushButton* download_;
    QLabel* connection_;
};

}  // namespace halvek::ui
