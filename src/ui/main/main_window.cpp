#include "ui/main/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <filesystem>

#include "capture/capture_texts.h"
#include "firmware/firmware_texts.h"
#include "link/kept_port.h"
#include "link/link_counters_text.h"
#include "link/texts.h"
#include "pages/escrow/escrow_view.h"
#include "serial/port_choices.h"
#include "serial/port_discovery.h"
#include "ui/accessories/accept_all_window.h"
#include "ui/accessories/cassette_controls_window.h"
#include "ui/accessories/cassette_data_window.h"
#include "ui/accessories/ticket_printer_window.h"
#include "ui/capture/capture_option_window.h"
#include "ui/firmware/firmware_download_window.h"
#include "ui/firmware/firmware_upload_window.h"
#include "ui/main/about_box.h"
#include "ui/main/bill_list_view.h"
#include "ui/main/command_status_painter.h"
#include "ui/main/dialog_font.h"
#include "ui/main/doctor_dialog.h"
#include "ui/main/drawing_area.h"
#include "ui/main/geometry.h"
#include "ui/main/held_font.h"
#include "ui/main/keyboard_order.h"
#include "ui/main/link_state_label.h"
#include "ui/main/message_box.h"
#include "ui/main/poll_interval_window.h"
#include "ui/main/port_choice_box.h"
#include "ui/main/port_combo_box.h"
#include "ui/main/program_icon.h"
#include "ui/main/text_fit.h"
#include "ui/pages/crc/crc_page.h"
#include "ui/pages/escrow/escrow_page.h"
#include "ui/pages/view_data/view_data_strip.h"

namespace halvek::ui {
namespace {

QString q(const std::string& s) { return QString::fromLatin1(s.c_str()); }

// The menu bar's own letters: the window's buttons take others.
constexpr const char* kMenuLetters = "LODUH";
constexpr qint64 kNoticeMs = 5000;  // how long a notice stays in the status bar

QTabBar* makeTabs(QWidget* parent, const QRect& at, TabRow row) {
    auto* tabs = new QTabBar(parent);
    tabs->setGeometry(at);
    tabs->setExpanding(false);
    tabs->setDrawBase(false);
    tabs->setUsesScrollButtons(true);
    // Eight tabs share 376 pixels in the upper row, as in the classic dialog.
    // The colours come from the palette, so a dark theme keeps them readable.
    tabs->setStyleSheet(
        "QTabBar::tab { padding: 2px 4px; min-width: 0px; margin-right: 1px; border: 1px solid palette(mid);"
        " border-bottom: none; border-top-left-radius: 3px; border-top-right-radius: 3px;"
        " background: palette(button); color: palette(button-text); }"
        "QTabBar::tab:selected { background: palette(base); color: palette(text); }"
        "QTabBar::tab:focus { text-decoration: underline; }");
    for (int i = 0; const PageEntry* e = findPage(row, i); ++i) tabs->addTab(e->caption);
    tabs->setAccessibleName(row == TabRow::Upper ? "Upper pages" : "Lower pages");
    return tabs;
}

template <class W, class... Args>
void openOnce(QPointer<W>& window, QWidget* parent, Args&&... args) {
    if (!window) {
        window = new W(parent, std::forward<Args>(args)...);
        prepareWindow(window);
        window->show();
    }
    window->raise();
    window->activateWindow();
}

}  // namespace

MainWindow::MainWindow(const WindowOptions& options, QWidget* parent)
    : QMainWindow(parent),
      // The reader thread's notifications are handled on this thread; the reader
      // waits meanwhile, and gives up at once when the window closes.
      host_(*this,
            [this] {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        host_.mailbox.serveOne();
                        updateLinkState();
                    },
                    Qt::QueuedConnection);
            }),
      // The warning about the file names it whole, wherever the program was started.
      settings_(std::filesystem::absolute(options.settingsPath).string()),
      pageContext_{host_.controller, host_.stores, *this, capture_, viewData_, [this] { drawingArea_->update(); }},
      simulatorPath_(options.simulatorPath),
      insertBill_(options.insertBill),
      acceptAll_(host_.controller, *this),
      printer_(host_.ports, *this, host_.controller),
      cassetteData_(host_.controller, *this),
      cassetteControls_(host_.controller, *this) {
    useDialogFont(this);
    setWindowIcon(programIcon());
    QMainWindow::setWindowTitle(q(controller().titleText()));
    host_.block.frameTap = &capture_;
    capture_.setListener(this);
    printer_.setValidatorPath([this] { return controller().openPortPath(); });
    controller().addStatusListener(&printer_);
    acceptAllTicker_ = new AcceptAllTicker(this, acceptAll_);
    buildMenu();
    buildControls();
    fitTexts(centralWidget());

    const int index = settings_.loadPortIndex();
    controller().setComPortIndex(index);
    if (!settings_.lastError().empty()) warnSettings();
    // The device kept for a COM entry, then the command line's, which wins.
    mapKeptPort(host_.ports, settings_);
    for (const auto& [n, path] : options.comPaths) {
        host_.ports.set(n, path);
        // A device given for the COM entry in use is kept as one picked in the list is.
        if (n == index + 1 && !settings_.savePortChoice(index, path)) warnSettings();
    }
    if (!options.simulatorPath.empty()) host_.ports.set(index + 1, options.simulatorPath);
    fillComPorts();
    if (!options.journalPath.empty()) {
        if (journal_.open(options.journalPath)) {
            controller().settlement().setFirstSeq(journal_.nextSeq());
            controller().addStatusListener(&journal_);
            // A journal that cannot be written is said at once, and stays said
            // in the status line until it takes records again.
            journal_.setTroubleHandler([this](const std::string& error) {
                updateLinkState();
                if (error.empty()) return;
                QTimer::singleShot(0, this, [this, error] {
                    showMessage(
                        {text::kWarning, "The money journal is not written", Buttons::Ok, Icon::Warning, error});
                });
            });
            if (const std::string damage = journal_.damage(); !damage.empty())
                QTimer::singleShot(0, this, [this, damage] {
                    showMessage({text::kInfo, "Money journal", Buttons::Ok, Icon::Warning, damage});
                });
        } else {
            // The window runs on; the technician learns at once that nothing is being journalled.
            const std::string error = journal_.lastError();
            QTimer::singleShot(0, this, [this, error] {
                showMessage({text::kInfo, "No money journal", Buttons::Ok, Icon::Warning, error});
            });
        }
    }
    if (!options.simulatorError.empty()) {
        const std::string error = options.simulatorError;
        QTimer::singleShot(0, this, [this, error] {
            showMessage({text::kInfo, "No simulated validator", Buttons::Ok, Icon::None, error});
        });
    }
    connect(&pollTimer_, &QTimer::timeout, this, [this] {
        controller().onTick();
        capture_.onTick();
        updateLinkState();
    });
    controller().selectPage(TabRow::Upper, page::Setup, true);
    controller().selectPage(TabRow::Lower, page::CommandStatus, true);
    updateLinkState();
    if (options.connect) QTimer::singleShot(0, this, &MainWindow::pressConnect);
}

MainWindow::~MainWindow() {
    // The firmware windows give the line back to the controller: before it goes.
    delete downloadWindow_;
    delete uploadWindow_;
    pollTimer_.stop();
    host_.close();
    capture_.close();
    printer_.closePort();
    controller().removeStatusListener(&printer_);
    controller().removeStatusListener(&journal_);
    host_.block.frameTap = nullptr;
}

QComboBox* MainWindow::comPorts() const { return comPorts_; }
QWidget* MainWindow::drawingArea() const { return drawingArea_; }
QLabel* MainWindow::linkStateLabel() const { return linkState_; }
QWidget* MainWindow::printerWindow() const { return printerWindow_; }
QWidget* MainWindow::cassetteDataWindow() const { return cassetteDataWindow_; }
QWidget* MainWindow::cassetteControlsWindow() const { return cassetteControlsWindow_; }
QWidget* MainWindow::acceptAllWindow() const { return acceptAllWindow_; }
FirmwareDownloadWindow* MainWindow::downloadWindow() const { return downloadWindow_; }
FirmwareUploadWindow* MainWindow::uploadWindow() const { return uploadWindow_; }

void MainWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    QMenu* log = bar->addMenu("&LogFile");
    log->addAction("&Create Log File", this, &MainWindow::openReport);
    QMenu* options = bar->addMenu("&Options");
    options->addAction("&BarCode Printer", this, &MainWindow::openPrinter);
    options->addAction("Kestrel_Cassette_&Data", this, &MainWindow::openCassetteData);
    options->addAction("&Kestrel Cassette Cmd", this, &MainWindow::openCassetteControls);
    options->addAction("&Poll Timer Interval", this, &MainWindow::openPollInterval);
    options->addAction("&Save Protocol Data Option", this, &MainWindow::openCaptureOptions);
    options->addAction("&Varnik Optonal Cmd", this, &MainWindow::openAcceptAll);
    QMenu* download = bar->addMenu("&Download");
    download->addAction("Upgrade &Firmware", this, [this] {
        if (!controller().linkConnected() &&
            showMessage({text::kInfo, fwtext::kPowerUpQuestion, Buttons::OkCancel}) == Answer::Cancel)
            return;
        openOnce(downloadWindow_, this, controller(), *this);
    });
    QMenu* upload = bar->addMenu("&Upload");
    upload->addAction("Upload &Firmware", this, [this] {
        if (!controller().linkConnected()) {
            showMessage({text::kInfo, text::kNoConnectionLower});
            return;
        }
        openOnce(uploadWindow_, this, controller(), *this);
    });
    QMenu* help = bar->addMenu("&Help");
    help->addAction("&Serial Port Check...", this, &MainWindow::openPortCheck);
    help->addAction("&About Halvek...", this, &MainWindow::openAbout);
    menuLetters_ = kMenuLetters;
    if (!insertBill_) return;
    // Only with the built-in simulator: a bill when the user wants one, so that
    // the pages can be looked at between bills.
    QMenu* simulator = bar->addMenu("Si&mulator");
    menuLetters_ += 'M';
    QAction* insert = simulator->addAction("&Insert a Bill", this, [this] {
        const std::string why = insertBill_();
        if (!why.empty()) showNotice(q("No bill inserted: " + why));
    });
    insert->setShortcut(QKeySequence(Qt::Key_F2));
}

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    // The controls sit at fixed pixels: a theme colours them, but keeps to their font and room.
    holdLayout(client, dialogFont());
    setCentralWidget(client);

    billList_ = new BillListView(client);
    connect(billList_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { onBillClicked(billList_->indexOfTopLevelItem(item)); });
    connect(billList_, &BillListView::toggleRequested, this, &MainWindow::onBillClicked);

    upperTabs_ = makeTabs(client, dluRect(165, 2, 251, 13), TabRow::Upper);
    lowerTabs_ = makeTabs(client, dluRect(4, 96, 412, 13), TabRow::Lower);
    connect(upperTabs_, &QTabBar::currentChanged, this, [this](int i) {
        // Each visit the user makes to the Escrow tab starts from the highest credit limit.
        if (i == page::Escrow) host().stores.escrow.creditLimit = kCreditLimitDefault;
        controller().selectPage(TabRow::Upper, i, false);
    });
    connect(lowerTabs_, &QTabBar::currentChanged, this,
            [this](int i) { controller().selectPage(TabRow::Lower, i, false); });

    modeGroup_ = new QGroupBox("Controller mode: ", client);
    modeGroup_->setGeometry(dluRect(4, 109, 412, 124));
    drawingArea_ = new DrawingArea(client);
    drawingArea_->setPainter([this](QPainter& p) { paintDrawingArea(p); });
    drawingArea_->raise();

    comPorts_ = new PortComboBox(client);
    comPorts_->setGeometry(dluRect(234, 237, 42, 14));
    comPorts_->setAccessibleName("COM port");
    comPorts_->setBeforePopup([this] { fillComPorts(); });
    connect(comPorts_, &QComboBox::currentIndexChanged, this, &MainWindow::onComPicked);

    connectButton_ = new QPushButton("&CONNECT", client);
    connectButton_->setGeometry(dluRect(280, 236, 44, 14));
    connect(connectButton_, &QPushButton::clicked, this, &MainWindow::pressConnect);

    q7eButton_ = new QPushButton("Q7&E", client);
    q7eButton_->setGeometry(dluRect(327, 236, 30, 14));
    q7eButton_->setCheckable(true);
    q7eButton_->setChecked(true);
    connect(q7eButton_, &QPushButton::toggled, this, [this](bool on) {
        if (!controller().setExtendedMode(on)) return;
        q7eButton_->setText(on ? "Q7&E" : "Q&7");
    });

    exitButton_ = new QPushButton("E&XIT", client);
    exitButton_->setGeometry(dluRect(368, 236, 42, 14));
    connect(exitButton_, &QPushButton::clicked, this, &QWidget::close);

    // The link state and the device sit below the connection controls.
    QStatusBar* status = statusBar();
    status->setSizeGripEnabled(false);
    linkState_ = new LinkStateLabel(status);
    status->addPermanentWidget(linkState_);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::fillComPorts() {
    fillPortChoices(comPorts_, portChoices(host_.ports, discoverSerialPorts(), SettingsFile::kPorts),
                    controller().comPortIndex() + 1);
    comPorts_->setToolTip(q(controller().portPath()));
}

void MainWindow::onComPicked(int i) {
    const ChosenPort chosen = chosenPort(comPorts_, i);
    if (chosen.path.empty() && chosen.comNumber == 0) return;
    if (chosen.comNumber == 0) {
        // A detected device goes behind the COM entry in use, and is kept there.
        const int index = controller().comPortIndex();
        if (controller().linkOpen()) return fillComPorts();
        host_.ports.set(index + 1, chosen.path);
        if (!settings_.savePortChoice(index, chosen.path)) warnSettings();
        fillComPorts();
        updateLinkState();
        return;
    }
    const int index = chosen.comNumber - 1;
    if (!controller().setComPortIndex(index)) return fillComPorts();
    comPorts_->setToolTip(q(controller().portPath()));
    if (!settings_.savePortIndex(index)) warnSettings();
    updateLinkState();
}

void MainWindow::warnSettings() {
    if (settingsComplained_) return;
    settingsComplained_ = true;
    const std::string why = settings_.lastError();
    QTimer::singleShot(0, this, [this, why] {
        showMessage({text::kWarning, "The COM port choice is not kept between runs.", Buttons::Ok, Icon::Warning, why});
    });
}

void MainWindow::pressConnect() {
    comPorts_->setToolTip(q(controller().portPath()));
    controller().connect();
    updateLinkState();
}

void MainWindow::updateLinkState() {
    if (!linkState_) return;
    const LinkFacts facts = linkFactsOf(controller());
    const std::string path = controller().openPortPath();
    const bool simulated = !simulatorPath_.empty() && path == simulatorPath_;
    linkState_->showState(linkStateOf(facts), simulated, q(path));
    // What the line dropped or asked again stays in sight once it has happened.
    QString rest;
    if (linkTroubleSeen(controller().linkCounters())) rest = "   link: " + q(controller().linkSummary());
    if (journal_.failedWrites() > 0)
        rest += "   journal: " + QString::number(journal_.failedWrites()) + " records not written";
    if (journal_.failing()) rest += " - " + q(journal_.lastError());
    if (noticeShown_.isValid() && noticeShown_.elapsed() < kNoticeMs) rest += "   " + notice_;
    const QString head = QString("COM %1: ").arg(controller().comPortIndex() + 1);
    // A long device name (a by-id path) gives way in its middle: the counts stay in sight.
    const QFontMetrics fm(statusBar()->font());
    const int room = statusBar()->width() - linkState_->sizeHint().width() - 32;
    const int forPath = std::max(fm.horizontalAdvance("/dev/ttyUSB0"), room - fm.horizontalAdvance(head + rest));
    statusBar()->showMessage(head + fm.elidedText(q(path), Qt::ElideMiddle, forPath) + rest);
    // The whole of it, the device's full name too, when the pointer rests on it.
    statusBar()->setToolTip(head + q(path) + rest);
}

void MainWindow::showNotice(const QString& text) {
    notice_ = text;
    noticeShown_.start();
    updateLinkState();
}

bool MainWindow::requireConnection() {
    if (controller().timerRunning()) return true;
    showMessage({text::kInfo, text::kNoConnectionLower});
    return false;
}

void MainWindow::openPollInterval() {
    PollIntervalWindow window(this, [this](const Message& m) { showMessage(m); });
    prepareWindow(&window);
    if (window.exec() == QDialog::Accepted) controller().setPollInterval(window.value());
}

void MainWindow::openAbout() {
    AboutBox about(this);
    prepareWindow(&about);
    about.exec();
}

void MainWindow::openReport() {
    if (ReportWindow* w = ReportWindow::open(this, controller(), *this, reportMemory_)) prepareWindow(w);
}

void MainWindow::openPrinter() { openOnce(printerWindow_, this, printer_); }
void MainWindow::openCassetteData() { openOnce(cassetteDataWindow_, this, cassetteData_); }
void MainWindow::openCassetteControls() { openOnce(cassetteControlsWindow_, this, cassetteControls_); }
void MainWindow::openAcceptAll() { openOnce(acceptAllWindow_, this, acceptAll_); }

void MainWindow::openCaptureOptions() {
    CaptureOptionWindow window(this, capture_, captureDialogs_);
    prepareWindow(&window);
    window.exec();
    if (auto* strip = qobject_cast<ViewDataStrip*>(lowerPage_)) strip->captureChanged();
}

void MainWindow::openPortCheck() {
    DoctorDialog doctor(this, {controller().openPortPath()});
    prepareWindow(&doctor);
    doctor.exec();
}

void MainWindow::captureEnded(CaptureEnd end, const std::string& path, const std::string& reason) {
    if (auto* strip = qobject_cast<ViewDataStrip*>(lowerPage_)) strip->captureChanged();
    if (end == CaptureEnd::WriteFailed) showMessage(capture::writeFailedMessage(path, reason));
}

void MainWindow::onBillClicked(int row) {
    if (row < 0) return;
    // A row the controller toggled is one of the table's.
    if (controller().toggleBill(row))
        billList_->showEnabled(row, host_.stores.bills.enabled[static_cast<size_t>(row)] != 0);
}

void MainWindow::paintDrawingArea(QPainter& p) {
    const std::string caption = text::modeCaption(controller().interruptMode(), controller().pollInterval());
    if (modeGroup_->title() != q(caption)) modeGroup_->setTitle(q(caption));
    const PageEntry* shown = findPage(TabRow::Lower, controller().lowerPage());
    if (shown && shown->paint) shown->paint(p, pageContext_);
    // What the panes show, for screen readers.
    const bool commandStatus = controller().lowerPage() == page::CommandStatus;
    drawingArea_->describe(shown ? shown->caption : "",
                           commandStatus ? commandStatusDescription(host_.stores, controller().currentState()) : "");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    pollTimer_.stop();
    host_.close();
    capture_.close();
    printer_.closePort();
    event->accept();
}

Answer MainWindow::showMessage(const Message& m) {
    if (messageHook_) return messageHook_(m);
    return runMessageBox(this, m);
}

void MainWindow::showPage(TabRow row, int index, bool moveTab) {
    QTabBar* tabs = row == TabRow::Lower ? lowerTabs_ : upperTabs_;
    if (moveTab && tabs->currentIndex() != index) {
        const QSignalBlocker quiet(tabs);
        tabs->setCurrentIndex(index);
    }
    QWidget*& current = row == TabRow::Lower ? lowerPage_ : upperPage_;
    if (current) {
        current->hide();
        current->deleteLater();
    }
    QWidget* client = centralWidget();
    const PageEntry* entry = findPage(row, index);
    current = entry ? entry->makeControls(client, pageContext_) : emptyControls(client, row);
    // Said outright: a widget styled by a style sheet passes no font down.
    current->setFont(dialogFont());
    current->show();
    fitTexts(current);
    giveMnemonics(client, menuLetters_);
    orderFocus();
    // A bill in escrow waits for a decision: the keyboard goes to it.
    if (auto* escrow = qobject_cast<EscrowPage*>(current); escrow && host_.stores.escrow.billInEscrow)
        escrow->focusDecision();
}

void MainWindow::orderFocus() { orderFocusVisually(centralWidget()); }

void MainWindow::repaintDrawingArea(bool) { drawingArea_->update(); }

void MainWindow::setWindowTitle(const std::string& title) {
    QMainWindow::setWindowTitle(q(title));
    updateLinkState();
}

void MainWindow::setModeCaption(const std::string& caption) { modeGroup_->setTitle(q(caption)); }

void MainWindow::setConnectionControlsEnabled(bool enabled) {
    q7eButton_->setEnabled(enabled);
    comPorts_->setEnabled(enabled);
    updateLinkState();
}

void MainWindow::refreshView(View view) {
    switch (view) {
        case View::BillList:
            billList_->fill(host_.stores.bills, controller().extendedMode());
            break;
        case View::CassetteData:
            cassetteData_.onCassetteDataRefreshed();
            break;
        case View::CassetteControls:
            cassetteControls_.onSensorReply(host_.stores.cassette.stackerSensor);
            break;
        case View::Crc:
            if (auto* crc = qobject_cast<CrcPage*>(upperPage_)) crc->onProgramResult(host_.stores.crc.lastRead);
            break;
        default:
            break;
    }
    if (upperPageOf(view) >= 0 && upperPageOf(view) == controller().upperPage())
        if (auto* shown = dynamic_cast<PageView*>(upperPage_)) shown->refresh();
}

void MainWindow::startPollTimer(int intervalMs) { pollTimer_.start(intervalMs); }

void MainWindow::stopPollTimer() {
    pollTimer_.stop();
    updateLinkState();
}

}  // namespace halvek::ui
