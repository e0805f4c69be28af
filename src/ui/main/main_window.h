#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

#include "link/controller_host.h"
#include "link/settings_file.h"
#include "link/user_interface.h"
#include "ui/main/page_registry.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QTabBar;

namespace halvek::ui {

class BillListView;
class DrawingArea;

struct WindowOptions {
    std::vector<std::pair<int, std::string>> comPaths;  // --com N=PATH
    // A simulated validator's device, put behind the selected COM entry; or why
    // the simulator could not start (shown once the window is up).
    std::string simulatorPath;
    std::string simulatorError;
    bool connect = false;  // press CONNECT once shown
    std::string settingsPath = SettingsFile::kDefaultName;
};

// The one top-level window: bill list, two tab rows, the drawing area, the
// connection controls and the menu. It is the user interface of the core's
// controller and owns the poll timer.
class MainWindow : public QMainWindow, public UserInterface {
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

    // Tests answer message boxes here instead of a modal box.
    void setMessageHook(std::function<Answer(const Message&)> hook) { messageHook_ = std::move(hook); }

    LinkController& controller() { return host_.controller; }
    ControllerHost& host() { return host_; }
    BillListView* billList() const { return billList_; }
    QPushButton* connectButton() const { return connectButton_; }
    QPushButton* exitButton() const { return exitButton_; }
    QPushButton* q7eButton() const { return q7eButton_; }
    QComboBox* comPorts() const { return comPorts_; }
    QGroupBox* modeGroup() const { return modeGroup_; }
    QTabBar* lowerTabs() const { return lowerTabs_; }
    QTabBar* upperTabs() const { return upperTabs_; }
    QWidget* lowerPageWidget() const { return lowerPage_; }

  public Q_SLOTS:
    void pressConnect();
    void openPollInterval();
    void openAbout();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenu();
    void buildControls();
    void paintDrawingArea(QPainter& p);
    void onBillClicked(int row);
    void notImplemented();
    bool requireConnection();

    std::function<Answer(const Message&)> messageHook_;
    ControllerHost host_;
    SettingsFile settings_;
    PageContext pageContext_;
    QTimer pollTimer_;
    bool settingsComplained_ = false;

    BillListView* billList_ = nullptr;
    QTabBar* upperTabs_ = nullptr;
    QTabBar* lowerTabs_ = nullptr;
    QGroupBox* modeGroup_ = nullptr;
    DrawingArea* drawingArea_ = nullptr;
    QComboBox* comPorts_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* q7eButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QWidget* upperPage_ = nullptr;
    QWidget* lowerPage_ = nullptr;
};

}  // namespace halvek::ui
