#include "ui/main/bill_list_view.h"

#include <QHeaderView>

#include "pages/bills/bill_row.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

void showRow(QTreeWidgetItem* item, const BillRow& r) {
    item->setText(0, QString::fromLatin1(r.type.c_str()));
    item->setText(1, QString::fromLatin1(r.currency.c_str()));
    item->setText(2, QString::fromLatin1(r.state.c_str()));
    item->setText(3, QString::fromLatin1(r.security.c_str()));
    item->setCheckState(0, r.checked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

BillListView::BillListView(QWidget* parent) : QTreeWidget(parent) {
    setGeometry(dluRect(6, 5, 152, 84));
    setColumnCount(4);
    setHeaderLabels({" Billl Type, Credit", "cur.", "stat", "sec"});
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    QFont f("DejaVu Sans Condensed");
    f.setPixelSize(10);
    setFont(f);
    setStyleSheet("QTreeView::item { padding: 0px; }");
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

}  // namespace halvek::ui

namespace halvek::ui {

void BillListView::showEnabled(int row, bool enabled) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setCheckState(0, enabled ? Qt::Checked : Qt::Unchecked);
        item->setText(2, enabled ? "EN" : "dis");
    }
}

}  // namespace halvek::ui
