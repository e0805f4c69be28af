#include "ui/main/bill_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "pages/bills/bill_row.h"
#include "ui/main/dialog_font.h"
#include "ui/main/geometry.h"
#include "ui/main/held_font.h"

namespace halvek::ui {
namespace {

// A screen reader says the row's columns and whether the type is enabled.
void describe(QTreeWidgetItem* item) {
    QStringList parts;
    for (int c = 0; c < 4; ++c) parts.append(item->text(c).simplified());
    parts.append(item->checkState(0) == Qt::Checked ? "enabled" : "disabled");
    item->setData(0, Qt::AccessibleTextRole, parts.join(' '));
}

void showRow(QTreeWidgetItem* item, const BillRow& r) {
    item->setText(0, QString::fromLatin1(r.type.c_str()));
    item->setText(1, QString::fromLatin1(r.currency.c_str()));
    item->setText(2, QString::fromLatin1(r.state.c_str()));
    item->setText(3, QString::fromLatin1(r.security.c_str()));
    item->setCheckState(0, r.checked ? Qt::Checked : Qt::Unchecked);
    describe(item);
}

}  // namespace

BillListView::BillListView(QWidget* parent) : QTreeWidget(parent) {
    setGeometry(dluRect(6, 5, 152, 84));
    setColumnCount(4);
    setHeaderLabels({" Billl Type, Credit", "cur.", "stat", "sec"});
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    QFont f = dialogFont();
    f.setPixelSize(10);
    setAccessibleName("Bill types");
    setAccessibleDescription("Space or Return enables or disables the selected bill type.");
    setStyleSheet("QTreeView::item { padding: 0px; } QHeaderView::section { padding: 0px 2px; }");
    holdFont(this, f);
    const int widths[] = {95, 38, 34, 34};
    for (int c = 0; c < 4; ++c) setColumnWidth(c, widths[c]);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(221, 221, 221));
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    for (int row = 0; row < kBillTypes; ++row) {
        auto* item = new QTreeWidgetItem(this);
        // The check image shows the state; a click goes through the controller.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        showRow(item, placeholderBillRow(row));
    }
}

void BillListView::fill(const BillStore& bills, bool extended) {
    for (int row = 0; row < kBillTypes; ++row)
        if (const auto r = billRow(bills, row, extended)) showRow(topLevelItem(row), *r);
}

void BillListView::showEnabled(int row, bool enabled) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setCheckState(0, enabled ? Qt::Checked : Qt::Unchecked);
        item->setText(2, enabled ? "EN" : "dis");
        describe(item);
    }
}

void BillListView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && currentItem()) {
        Q_EMIT toggleRequested(indexOfTopLevelItem(currentItem()));
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace halvek::ui
