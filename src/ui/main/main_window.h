#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "accessories/accept_all_session.h"
#include "accessories/cassette_controls_session.h"
#include "accessories/cassette_data_session.h"
#include "accessories/ticket_printer_session.h"
#include "capture/protocol_capture.h"
#include "capture/view_data_view.h"
#include "link/controller_host.h"
#include "link/money_journal.h"
#include "link/settings_file.h"
#include "link/user_interface.h"
#include "ui/capture/capture_dialogs.h"
#include "ui/main/page_registry.h"
#include "ui/report/report_window.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabBar;

namespace halvek::ui {

class AcceptAllTicker;
class AcceptAllWindow;
class FirmwareDownloadWindow;
class FirmwareUploadWindow;
class BillListView;
class CassetteControlsWindow;
class CassetteDataWindow;
class DrawingArea;
class LinkStateLabel;
class PortComboBox;
class TicketPrinterWindow;

struct WindowOptions {
    std::vector<std::pair<int, std::string>> comPaths;  // --com N=PATH
    // A simulated validator's device, put behind the selected COM entry; or why
    // the simulator could not start (shown once the window is up).
    std::string simulatorPath;
    std::string simulatorError;
    // Puts a bill into the simulated validator now: "" when it went in, else
    // why not. Set only under the simulator; it adds the Simulator menu.
    std::function<std::string()> insertBill;
    bool connect = false;     // press CONNECT once shown
    std::string journalPath;  // the money journal's file (none when empty)
    std::string settingsPath = SettingsFile::kDefaultName;
};

// The one top-level window: bill list, two tab rows, the drawing area, the
// connection controls and the menu. It is the user interface of the core's
// controller and owns the poll timer.
class MainWindow : public QMainWindow, public UserInterface, public CaptureListener {
    Q_OBJECT
  public:
    explicit MainWindow(const WindowOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // UserInterface.
    Answer showMessage(const Message& message) override;
    void showPage(TabRow row, int index, bool moveTab) override;
    void repaintDrawingArea(bool erase) override;
    void setWindowTitle(const std::string& title) override;
    void setModeCaption(const std::string& caption) override;
    void setConnectionControlsEnabled(bool enabled) override;
    void refreshView(View view) override;
    void startPollTimer(int intervalMs) override;
    void stopPollTimer() override;

    // CaptureListener.
    void captureEnded(CaptureEnd end, const std::string& path, const std::string& reason) override;

    // Tests answer message boxes here instead of a modal box.
    void setMessageHook(std::function<Answer(const Message&)> hook) { messageHook_ = std::move(hook); }
    // Tests choose the capture file here instead of a file dialog.
    void setCaptureDialogs(CaptureDialogs dialogs) { captureDialogs_ = std::move(dialogs); }

    LinkController& controller() { return host_.controller; }
    ControllerHost& host() { return host_; }
    BillListView* billList() const { return billList_; }
    QPushButton* connectButton() const { return connectButton_; }
    QPushButton* exitButton() const { return exitButton_; }
    QPushButton* q7eButton() const { return q7eButton_; }
    QComboBox* comPorts() const;
    QGroupBox* modeGroup() const { return modeGroup_; }
    QTabBar* lowerTabs() const { return lowerTabs_; }
    QTabBar* upperTabs() const { return upperTabs_; }
    QWidget* lowerPageWidget() const { return lowerPage_; }
    QWidget* upperPageWidget() const { return upperPage_; }
    QWidget* drawingArea() const;
    QLabel* linkStateLabel() const;
    ProtocolCapture& capture() { return capture_; }
    ViewDataView& viewData() { return viewData_; }
    // The tool windows while they are open.
    QWidget* printerWindow() const;
    QWidget* cassetteDataWindow() const;
    QWidget* cassetteControlsWindow() const;
    QWidget* acceptAllWindow() const;
    FirmwareDownloadWindow* downloadWindow() const;
    FirmwareUploadWindow* uploadWindow() const;

  public Q_SLOTS:
    void pressConnect();
    void openPollInterval();
    void openAbout();
    void openReport();
    void openPrinter();
    void openCassetteData();
    void openCassetteControls();
    void openAcceptAll();
    void openCaptureOptions();
    void openPortCheck();
    // Shows the link state from the controller's flags and poll count.
    void updateLinkState();
    // Shows a short notice in the status bar for a few seconds.
    void showNotice(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenu();
    void buildControls();
    void paintDrawingArea(QPainter& p);
    void onBillClicked(int row);
    bool requireConnection();
    void fillComPorts();
    void onComPicked(int index);
    void warnSettings();
    // The focus goes through the controls in the order they are seen.
    void orderFocus();

    std::function<Answer(const Message&)> messageHook_;
    // The capture outlives the reader thread that writes into it.
    ProtocolCapture capture_;
    ViewDataView viewData_;
    ControllerHost host_;
    SettingsFile settings_;
    PageContext pageContext_;
    QTimer pollTimer_;
    bool settingsComplained_ = false;
    std::string simulatorPath_;
    std::function<std::string()> insertBill_;
    QString menuLetters_;  // the menus' mnemonics, kept off the controls
    QString notice_;       // a short word in the status bar, beside the line's
    QElapsedTimer noticeShown_;
    CaptureDialogs captureDialogs_ = CaptureDialogs::standard();

    // The accessory sessions live as long as the window; their windows come and go.
    ReportMemory reportMemory_;
    AcceptAllSession acceptAll_;
    TicketPrinterSession printer_;
    MoneyJournal journal_;
    CassetteDataSession cassetteData_;
    CassetteControlsSession cassetteControls_;
    AcceptAllTicker* acceptAllTicker_ = nullptr;
    QPointer<TicketPrinterWindow> printerWindow_;
    QPointer<CassetteDataWindow> cassetteDataWindow_;
    QPointer<CassetteControlsWindow> cassetteControlsWindow_;
    QPointer<AcceptAllWindow> acceptAllWindow_;
    QPointer<FirmwareDownloadWindow> downloadWindow_;
    QPointer<FirmwareUploadWindow> uploadWindow_;

    BillListView* billList_ = nullptr;
    QTabBar* upperTabs_ = nullptr;
    QTabBar* lowerTabs_ = nullptr;
    QGroupBox* modeGroup_ = nullptr;
    DrawingArea* drawingArea_ = nullptr;
    PortComboBox* comPorts_ = nullptr;
    LinkStateLabel* linkState_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* q7eButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QWidget* upperPage_ = nullptr;
    QWidget* lowerPage_ = nullptr;
};

}  // namespace halvek::ui
