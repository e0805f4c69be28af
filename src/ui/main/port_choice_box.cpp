#include "ui/main/port_choice_box.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QSignalBlocker>

namespace halvek::ui {
namespace {

constexpr int kComRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;

}  // namespace

void fillPortChoices(QComboBox* box, const std::vector<PortChoice>& choices, int selectedCom) {
    const QSignalBlocker quiet(box);  // refilling is no choice of the user's
    box->clear();
    int widest = 0;
    const QFontMetrics metrics(box->font());
    for (const PortChoice& c : choices) {
        const QString label = QString::fromStdString(c.label);
        box->addItem(label);
        const int i = box->count() - 1;
        box->setItemData(i, c.comNumber, kComRole);
        box->setItemData(i, QString::fromStdString(c.path), kPathRole);
        box->setItemData(i, QString::fromStdString(c.details), Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    box->view()->setMinimumWidth(widest + 40);
    for (int i = 0; i < box->count(); ++i)
        if (box->itemData(i, kComRole).toInt() == selectedCom) box->setCurrentIndex(i);
}

ChosenPort chosenPort(const QComboBox* box, int index) {
    if (index < 0 || index >= box->count()) return {};
    return {box->itemData(index, kComRole).toInt(), box->itemData(index, kPathRole).toString().toStdString()};
}

}  // namespace halvek::ui
