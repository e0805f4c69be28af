#pragma once

#include <QDialog>

namespace halvek::ui {

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent);
};

}  // namespace halvek::ui
