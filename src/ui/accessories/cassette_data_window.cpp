#include "ui/accessories/cassette_data_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabBar>

#include "accessories/accessory_texts.h"
#include "accessories/cassette_id.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

const QColor kHeader(85, 255, 85), kGrey(170, 170, 170), kGreen(0, 255, 0), kWhite(255, 255, 255),
    kTotalsLabel(255, 255, 85), kTotals(0, 255, 255), kGrid(0, 159, 159), kDescription(170, 255, 170);

void text(QPainter& p, int x, int y, const QString& s, const QColor& colour) {
    p.setPen(colour);
    p.drawText(QRect(x, y, 400, 16), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
}

void paintBills(QPainter& p, const CassetteBillView& view) {
    text(p, 200, 50, "denom", kHeader);
    text(p, 290, 50, "count", kHeader);
    text(p, 360, 50, "denom", kHeader);
    text(p, 450, 50, "count", kHeader);
    for (size_t i = 0; i < view.rows.size(); ++i) {
        const CassetteBillRow& r = view.rows[i];
        const int dx = i < 8 ? 0 : 160;
        const int y = 69 + static_cast<int>(i % 8) * 17;
        text(p, 203 + dx, y, QString::asprintf("%02d", r.type), kGrey);
        text(p, 223 + dx, y, QString::number(r.denomination), kGreen);
        text(p, 293 + dx, y, QString::number(r.count), kWhite);
    }
    text(p, 200, 206, "stacked bills:", kTotalsLabel);
    text(p, 370, 206, "total value:", kTotalsLabel);
    text(p, 295, 206, QString::number(view.stackedBills), kTotals);
    text(p, 455, 206, QString::number(view.totalValue), kTotals);
    p.setPen(QPen(kGrid, 1));
    for (int x : {195, 275, 355, 435, 515}) p.drawLine(x, 50, x, 203);
    for (int y = 50; y <= 203; y += 17) p.drawLine(195, y, 515, y);
}

void paintFaults(QPainter& p, const std::array<CassetteFaultRow, kFaultRowsPerPage>& rows) {
    text(p, 193, 50, "num  count     event description", kGreen);
    for (size_t i = 0; i < rows.size(); ++i) {
        const CassetteFaultRow& r = rows[i];
        const int y = 67 + static_cast<int>(i) * 17;
        text(p, r.event < 10 ? 205 : 199, y, QString::number(r.event), kGrey);
        text(p, 235, y, QString::number(r.count), kWhite);
        text(p, 285, y, QString::fromUtf8(r.description.data(), static_cast<int>(r.description.size())), kDescription);
    }
    p.setPen(QPen(kGrid, 1));
    for (int x : {190, 225, 280, 520}) p.drawLine(x, 50, x, 220);
    for (int y = 50; y <= 220; y += 17) p.drawLine(190, y, 520, y);
}

std::optional<std::string> askForLogFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);  // a new log is created
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter("QRVprogram_file (*.TXT *.txt)");
    dialog.setDefaultSuffix("TXT");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace

CassetteDataWindow::CassetteDataWindow(QWidget* parent, CassetteDataSession& session, FileChooser chooser)
    : ToolWindow(parent, text::kCassetteDataCaption, 365, 169), session_(session), chooser_(std::move(chooser)) {
    if (!chooser_) chooser_ = [this] { return askForLogFile(this); };
    (new QGroupBox("cassette id:", this))->setGeometry(dluRect(7, 7, 103, 137));
    log_ = new QCheckBox("log ID's in a file (option)", this);
    log_->setGeometry(dluRect(16, 21, 90, 10));
    list_ = new QListWidget(this);
    list_->setGeometry(dluRect(16, 34, 85, 45));
    edit_ = new QLineEdit(this);
    edit_->setGeometry(dluRect(16, 80, 85, 13));
    edit_->setAlignment(Qt::AlignCenter);
    edit_->setMaxLength(10);
    edit_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit_));
    auto* write = new QPushButton("WRITE NEW CASS ID", this);
    write->setGeometry(dluRect(16, 92, 85, 14));
    write->setDefault(true);
    (new QLabel("cassette ID number:", this))->setGeometry(dluRect(15, 115, 86, 8));
    idRead_ = new QLabel(this);
    idRead_->setGeometry(dluRect(16, 124, 85, 12));
    idRead_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    idRead_->setAlignment(Qt::AlignCenter);
    tabs_ = new QTabBar(this);
    tabs_->setGeometry(dluRect(115, 6, 115, 13));
    tabs_->addTab("BILL COUNT");
    tabs_->addTab("FAULT COUNT");
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->setStyleSheet("QTabBar::tab { padding: 1px 6px; }");
    page_ = new QPushButton(text::kNextPage, this);
    page_->setGeometry(dluRect(257, 4, 52, 12));
    title_ = new QLabel(this);
    title_->setGeometry(dluRect(311, 5, 46, 11));
    (new QGroupBox(this))->setGeometry(dluRect(113, 19, 245, 125));
    auto* readId = new QPushButton("READ CASS ID", this);
    readId->setGeometry(dluRect(28, 147, 64, 14));
    auto* readData = new QPushButton("READ DATA", this);
    readData->setGeometry(dluRect(124, 147, 64, 14));
    auto* clear = new QPushButton("CLEAR DATA", this);
    clear->setGeometry(dluRect(193, 147, 64, 14));
    auto* close = new QPushButton("Close Window", this);
    close->setGeometry(dluRect(292, 147, 55, 14));

    connect(log_, &QCheckBox::clicked, this, [this] {
        if (session_.logOptionClicked()) {
            if (auto path = chooser_())
                session_.logFileChosen(*path);
            else
                session_.logFileCancelled();
        }
        cassetteDataChanged();
    });
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (t.isEmpty())
            session_.setIdNumber(0);
        else
            session_.setIdNumberText(t.toStdString());
    });
    connect(write, &QPushButton::clicked, this, [this] { session_.writeId(); });
    connect(readId, &QPushButton::clicked, this, [this] { session_.readId(); });
    connect(readData, &QPushButton::clicked, this, [this] { session_.readData(); });
    connect(clear, &QPushButton::clicked, this, [this] { session_.clearData(); });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int i) {
        if (i == 0)
            session_.showBills();
        else
            session_.showFaults();
    });
    connect(page_, &QPushButton::clicked, this, [this] { session_.flipFaultPage(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    session_.setListener(this);
    session_.open();
}

CassetteDataWindow::~CassetteDataWindow() { session_.setListener(nullptr); }

void CassetteDataWindow::cassetteDataChanged() {
    log_->setChecked(session_.logOn());
    const auto& lines = session_.logLines();
    if (list_->count() != static_cast<int>(lines.size())) {
        list_->clear();
        for (const std::string& l : lines) list_->addItem(QString::fromStdString(l));
        if (list_->count()) list_->setCurrentRow(list_->count() - 1);
    }
    // A refused number stays as typed, for WRITE to refuse too.
    const QString id = QString::number(session_.idNumber());
    if (session_.idRefusal().empty() && edit_->text() != id && !(edit_->text().isEmpty() && session_.idNumber() == 0))
        edit_->setText(id);
    idRead_->setText(QString::fromStdString(session_.idFieldText()));
    const bool faults = session_.view() == CassetteDataSession::ViewKind::Faults;
    tabs_->setCurrentIndex(faults ? 1 : 0);
    title_->setText(session_.viewTitle());
    page_->setText(session_.pageButtonCaption());
    page_->setEnabled(session_.pageButtonEnabled());
    update();
}

void CassetteDataWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    p.fillRect(QRect(QPoint(180, 46), QPoint(529, 223)), Qt::black);
    if (session_.view() == CassetteDataSession::ViewKind::Bills)
        paintBills(p, session_.billView());
    else
        paintFaults(p, session_.faultView());
}

}  // namespace halvek::ui
