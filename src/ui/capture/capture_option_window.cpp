#include "ui/capture/capture_option_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/main/geometry.h"

namespace halvek::ui {

CaptureOptionWindow::CaptureOptionWindow(QWidget* parent, ProtocolCapture& capture, CaptureDialogs dialogs)
    : QDialog(parent), capture_(capture), dialogs_(std::move(dialogs)) {
    setWindowTitle(capture::kOptionCaption);
    setFixedSize(dluX(244), dluY(117));
    int y = 7;
    for (const char* line : capture::kOptionLines) {
        auto* label = new QLabel(line, this);
        label->setGeometry(dluRect(7, y, 232, 9));
        y += 10;
    }
    auto* group = new QGroupBox(capture::kLimitGroup, this);
    group->setGeometry(dluRect(7, 60, 110, 30));
    auto* limits = new QComboBox(group);
    limits->setObjectName("limit");
    limits->setGeometry(dluRect(6, 11, 80, 14));
    for (const char* label : capture::kLimitLabels) limits->addItem(label);
    limits->setCurrentIndex(capture_.limitIndex());
    // The limit changes at once, also if the window is then cancelled.
    connect(limits, &QComboBox::currentIndexChanged, this, [this](int i) { capture_.setLimitIndex(i); });

    fileButton_ = new QPushButton(capture_.active() ? capture::kCloseFile : capture::kOpenFile, this);
    fileButton_->setGeometry(dluRect(130, 95, 50, 14));
    fileButton_->setDefault(true);
    auto* cancel = new QPushButton(capture::kCancel, this);
    cancel->setGeometry(dluRect(187, 95, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(fileButton_, &QPushButton::clicked, this, [this] {
        accept();
        if (capture_.active())
            capture_.close();
        else
            openCaptureWithDialog(parentWidget(), capture_, dialogs_);
    });
}

}  // namespace halvek::ui
