#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "firmware/crc_test/crc_test_session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace halvek {
class LinkController;
}

namespace halvek::ui {

// The CRC test page: thin controls over the CrcTestSession, with the 500 ms
// timer the session asks for. Created afresh at each visit; a test still
// running is abandoned with the page.
class CrcPage : public QWidget, public CrcTestListener {
    Q_OBJECT
  public:
    using FileChooser = std::function<QString(QWidget* parent)>;  // empty when cancelled
    using Say = std::function<void(QWidget* parent, const Message&)>;

    CrcPage(QWidget* parent, LinkController& controller, Stores& stores, FileChooser chooseFile = {}, Say say = {});

    // The window calls this on refreshView(View::Crc): a read reply was stored.
    void onProgramResult(uint8_t readCode) { session_.onProgramResult(readCode); }
    CrcTestSession& session() { return session_; }

    void crcTestChanged() override;
    void crcTestMessage(const Message& m) override;

  private:
    CrcTestSession session_;
    FileChooser chooseFile_;
    Say say_;
    QTimer timer_;
    QLineEdit *lowSeed_, *highSeed_;
    std::array<QRadioButton*, 3> algorithms_{};
    QLabel *programCrc_, *revision_, *fileCrc_, *fileName_, *status_;
    QCheckBox *programBox_, *fileBox_;
    QPushButton* run_;
};

// The controls factory for the page registry.
QWidget* createCrcPage(QWidget* parent, LinkController& controller, Stores& stores);

}  // namespace halvek::ui
