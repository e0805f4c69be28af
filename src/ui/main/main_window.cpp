#include "ui/main/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>

#include "link/texts.h"
#include "ui/main/about_box.h"
#include "ui/main/bill_list_view.h"
#include "ui/main/drawing_area.h"
#include "ui/main/geometry.h"
#include "ui/main/poll_interval_window.h"
#include "ui/main/program_icon.h"

namespace halvek::ui {
namespace {

QString q(const std::string& s) { return QString::fromLatin1(s.c_str()); }

QTabBar* makeTabs(QWidget* parent, const QRect& at, TabRow row) {
    auto* tabs = new QTabBar(parent);
    tabs->setGeometry(at);
    tabs->setExpanding(false);
    tabs->setDrawBase(false);
    tabs->setUsesScrollButtons(true);
    QFont f = tabs->font();
    f.setPixelSize(11);
    tabs->setFont(f);
    // Eight tabs share 376 pixels in the upper row, as in the classic dialog.
    tabs->setStyleSheet(
        "QTabBar::tab { padding: 2px 5px; min-width: 0px; margin-right: 1px; border: 1px solid #9a9a9a;"
        " border-bottom: none; border-top-left-radius: 3px; border-top-right-radius: 3px; background: #e4e4e4; }"
        "QTabBar::tab:selected { background: #ffffff; }");
    for (int i = 0; const PageEntry* e = findPage(row, i); ++i) tabs->addTab(e->caption);
    return tabs;
}

}  // namespace

MainWindow::MainWindow(const WindowOptions& options, QWidget* parent)
    : QMainWindow(parent),
      // The reader thread's notifications are handled on this thread; the reader
      // waits meanwhile, and gives up at once when the window closes.
      host_(*this,
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { host_.mailbox.serveOne(); }, Qt::QueuedConnection);
            }),
      settings_(options.settingsPath),
      pageContext_{host_.controller, host_.stores, *this} {
    setWindowIcon(programIcon());
    QMainWindow::setWindowTitle(q(controller().titleText()));
    for (const auto& [n, path] : options.comPaths) host_.ports.set(n, path);
    buildMenu();
    buildControls();

    const int index = settings_.loadPortIndex();
    comPorts_->setCurrentIndex(index);
    controller().setComPortIndex(index);
    if (!settings_.lastError().empty()) {
        settingsComplained_ = true;
        const std::string why = settings_.lastError();
        QTimer::singleShot(0, this, [this, why] {
            showMessage(
                {text::kWarning, "The COM port choice is not kept between runs.", Buttons::Ok, Icon::Warning, why});
        });
    }
    if (!options.simulatorPath.empty()) host_.ports.set(index + 1, options.simulatorPath);
    if (!options.simulatorError.empty()) {
        const std::string error = options.simulatorError;
        QTimer::singleShot(0, this, [this, error] {
            showMessage({text::kInfo, "No simulated validator", Buttons::Ok, Icon::None, error});
        });
    }
    // Each COM entry tells the device it stands for.
    for (int n = 1; n <= SettingsFile::kPorts; ++n)
        comPorts_->setItemData(n - 1, q(host_.ports.pathFor(n)), Qt::ToolTipRole);
    comPorts_->setToolTip(q(controller().portPath()));
    connect(&pollTimer_, &QTimer::timeout, this, [this] { controller().onTick(); });
    controller().selectPage(TabRow::Upper, page::Setup, true);
    controller().selectPage(TabRow::Lower, page::CommandStatus, true);
    if (options.connect) QTimer::singleShot(0, this, &MainWindow::pressConnect);
}

MainWindow::~MainWindow() {
    pollTimer_.stop();
    host_.close();
}

void MainWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    QMenu* log = bar->addMenu("LogFile");
    log->addAction("Create Log File", this, [this] {
        if (requireConnection()) notImplemented();
    });
    QMenu* options = bar->addMenu("Options");
    options->addAction("BarCode Printer", this, &MainWindow::notImplemented);
    options->addAction("Kestrel_Cassette_Data", this, &MainWindow::notImplemented);
    options->addAction("Kestrel Cassette Cmd", this, &MainWindow::notImplemented);
    options->addAction("Poll Timer Interval", this, &MainWindow::openPollInterval);
    options->addAction("Save Protocol Data Option", this, &MainWindow::notImplemented);
    options->addAction("Varnik Optonal Cmd", this, &MainWindow::notImplemented);
    QMenu* download = bar->addMenu("Download");
    download->addAction("Upgrade Firmware", this, [this] {
        if (!controller().linkConnected() &&
            showMessage({text::kInfo, "Power up validator with switches set for download mode", Buttons::OkCancel}) ==
                Answer::Cancel)
            return;
        notImplemented();
    });
    QMenu* upload = bar->addMenu("Upload");
    upload->addAction("Upload Firmware", this, [this] {
        if (!controller().linkConnected()) {
            showMessage({text::kInfo, text::kNoConnectionLower});
            return;
        }
        notImplemented();
    });
    QMenu* help = bar->addMenu("Help");
    help->addAction("&About Halvek...", this, &MainWindow::openAbout);
}

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    billList_ = new BillListView(client);
    connect(billList_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { onBillClicked(billList_->indexOfTopLevelItem(item)); });

    upperTabs_ = makeTabs(client, dluRect(165, 2, 251, 13), TabRow::Upper);
    lowerTabs_ = makeTabs(client, dluRect(4, 96, 412, 13), TabRow::Lower);
    connect(upperTabs_, &QTabBar::currentChanged, this,
            [this](int i) { controller().selectPage(TabRow::Upper, i, false); });
    connect(lowerTabs_, &QTabBar::currentChanged, this,
            [this](int i) { controller().selectPage(TabRow::Lower, i, false); });

    modeGroup_ = new QGroupBox("Controller mode: ", client);
    modeGroup_->setGeometry(dluRect(4, 109, 412, 124));
    drawingArea_ = new DrawingArea(client);
    drawingArea_->setPainter([this](QPainter& p) { paintDrawingArea(p); });
    drawingArea_->raise();

    comPorts_ = new QComboBox(client);
    comPorts_->setGeometry(dluRect(234, 237, 42, 14));
    QFont small = comPorts_->font();
    small.setPixelSize(11);
    comPorts_->setFont(small);
    for (int n = 1; n <= SettingsFile::kPorts; ++n) comPorts_->addItem(QString("COM %1").arg(n));
    connect(comPorts_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i < 0 || !controller().setComPortIndex(i)) return;
        comPorts_->setToolTip(q(controller().portPath()));
        if (!settings_.savePortIndex(i) && !settingsComplained_) {
            settingsComplained_ = true;
            showMessage({text::kWarning, "The COM port choice is not kept between runs.", Buttons::Ok, Icon::Warning,
                         settings_.lastError()});
        }
    });

    connectButton_ = new QPushButton("CONNECT", client);
    connectButton_->setGeometry(dluRect(280, 236, 44, 14));
    connect(connectButton_, &QPushButton::clicked, this, &MainWindow::pressConnect);

    q7eButton_ = new QPushButton("Q7E", client);
    q7eButton_->setGeometry(dluRect(327, 236, 30, 14));
    q7eButton_->setCheckable(true);
    q7eButton_->setChecked(true);
    connect(q7eButton_, &QPushButton::toggled, this, [this](bool on) {
        if (!controller().setExtendedMode(on)) return;
        q7eButton_->setText(on ? "Q7E" : "Q7");
    });

    exitButton_ = new QPushButton("EXIT", client);
    exitButton_->setGeometry(dluRect(368, 236, 42, 14));
    connect(exitButton_, &QPushButton::clicked, this, &QWidget::close);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::pressConnect() {
    comPorts_->setToolTip(q(controller().portPath()));
    controller().connect();
}

bool MainWindow::requireConnection() {
    if (controller().timerRunning()) return true;
    showMessage({text::kInfo, text::kNoConnectionLower});
    return false;
}

void MainWindow::notImplemented() { showMessage({text::kInfo, "Not implemented"}); }

void MainWindow::openPollInterval() {
    PollIntervalWindow window(this, [this](const Message& m) { showMessage(m); });
    if (window.exec() == QDialog::Accepted) controller().setPollInterval(window.value());
}

void MainWindow::openAbout() {
    AboutBox about(this);
    about.exec();
}

void MainWindow::onBillClicked(int row) {
    if (row < 0) return;
    if (controller().toggleBill(row)) billList_->showEnabled(row, host_.stores.bills.enabled[row] != 0);
}

void MainWindow::paintDrawingArea(QPainter& p) {
    const std::string caption = text::modeCaption(controller().interruptMode(), controller().pollInterval());
    if (modeGroup_->title() != q(caption)) modeGroup_->setTitle(q(caption));
    const PageEntry* shown = findPage(TabRow::Lower, controller().lowerPage());
    if (shown && shown->paint) shown->paint(p, pageContext_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    pollTimer_.stop();
    host_.close();
    event->accept();
}

Answer MainWindow::showMessage(const Message& m) {
    if (messageHook_) return messageHook_(m);
    QMessageBox box(m.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, q(m.title), q(m.text),
                    QMessageBox::NoButton, this);
    switch (m.buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    if (!m.detail.empty()) box.setInformativeText(q(m.detail));
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Ok;
    }
}

void MainWindow::showPage(TabRow row, int index, bool moveTab) {
    QTabBar* tabs = row == TabRow::Lower ? lowerTabs_ : upperTabs_;
    if (moveTab && tabs->currentIndex() != index) {
        const QSignalBlocker quiet(tabs);
        tabs->setCurrentIndex(index);
    }
    QWidget*& current = row == TabRow::Lower ? lowerPage_ : upperPage_;
    if (current) current->deleteLater();
    QWidget* client = centralWidget();
    const PageEntry* entry = findPage(row, index);
    current = entry ? entry->makeControls(client, pageContext_) : emptyControls(client, row);
    current->show();
}

void MainWindow::repaintDrawingArea(bool) { drawingArea_->update(); }

void MainWindow::setWindowTitle(const std::string& title) { QMainWindow::setWindowTitle(q(title)); }

void MainWindow::setModeCaption(const std::string& caption) { modeGroup_->setTitle(q(caption)); }

void MainWindow::setConnectionControlsEnabled(bool enabled) {
    q7eButton_->setEnabled(enabled);
    comPorts_->setEnabled(enabled);
}

void MainWindow::refreshView(View view) {
    if (view == View::BillList) billList_->fill(host_.stores.bills, controller().extendedMode());
    if (upperPageOf(view) >= 0 && upperPageOf(view) == controller().upperPage())
        if (auto* shown = dynamic_cast<PageView*>(upperPage_)) shown->refresh();
}

void MainWindow::startPollTimer(int intervalMs) { pollTimer_.start(intervalMs); }

void MainWindow::stopPollTimer() { pollTimer_.stop(); }

}  // namespace halvek::ui
