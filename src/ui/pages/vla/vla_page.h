#pragma once

#include <QWidget>

#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The VLA page: what a video level adjustment is, and the button that starts one.
class VlaPage : public QWidget {
    Q_OBJECT
  public:
    VlaPage(QWidget* client, PageContext& context);
    QPushButton* requestButton() const { return request_; }

  private:
    QPushButton* request_;
};

QWidget* makeVlaPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
