#pragma once

#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <functional>

namespace halvek::ui {

// The COM choice. Its list names the device behind each entry; the closed box
// shows only "COM n", which is all its width holds (the device is told beside
// the link state and in the tooltip). It refreshes its entries each time its
// list opens, so a device plugged in since shows up without a restart.
class PortComboBox : public QComboBox {
  public:
    using QComboBox::QComboBox;
    void setBeforePopup(std::function<void()> f) { beforePopup_ = std::move(f); }
    // The entry's label up to the blanks before its device.
    QString shownText() const {
        const QString t = currentText();
        const qsizetype cut = t.indexOf("  ");
        return cut < 0 ? t : t.left(cut);
    }
    void showPopup() override {
        if (beforePopup_) beforePopup_();
        QComboBox::showPopup();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.currentText = shownText();
        p.drawComplexControl(QStyle::CC_ComboBox, opt);
        p.drawControl(QStyle::CE_ComboBoxLabel, opt);
    }

  private:
    std::function<void()> beforePopup_;
};

}  // namespace halvek::ui
