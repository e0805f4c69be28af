#pragma once

#include <string>
#include <utility>

namespace halvek {

enum class TabRow { Lower, Upper };

// Page indexes of the two tab rows.
namespace page {
constexpr int CommandStatus = 0, Statistics = 1, Sensors = 2, MainOptics = 3, VideoTest = 4, ViewData = 5,
              QuickTest = 6;
constexpr int Setup = 0, RevId = 1, Escrow = 2, Counters = 3, Crc = 4, Factory = 5, Rtc = 6, Vla = 7;
}  // namespace page

// Pages and tool windows the core asks to show fresh data, if they are open.
enum class View { BillList, Setup, RevId, Escrow, Counters, Crc, Factory, Rtc, CassetteData, CassetteControls };

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Warning };
enum class Answer { Ok, Cancel, Yes, No };

struct Message {
    Message(std::string t, std::string x, Buttons b = Buttons::Ok, Icon i = Icon::None, std::string d = {})
        : title(std::move(t)), text(std::move(x)), buttons(b), icon(i), detail(std::move(d)) {}
    std::string title;
    std::string text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    std::string detail;  // the device and the operating system's reason, where there is one
};

// Everything the core asks of whoever shows it to the user: the window, the
// console tool and the tests each implement it.
class UserInterface {
  public:
    virtual ~UserInterface() = default;
    virtual Answer showMessage(const Message& message) = 0;
    // Shows page index of a row; moveTab also moves the row's highlighted tab.
    virtual void showPage(TabRow row, int index, bool moveTab) = 0;
    virtual void repaintDrawingArea(bool erase) = 0;
    virtual void setWindowTitle(const std::string& title) = 0;
    virtual void setModeCaption(const std::string& caption) = 0;
    // The Q7E box and the COM choice may change only while not connected.
    virtual void setConnectionControlsEnabled(bool enabled) = 0;
    virtual void refreshView(View view) = 0;
    virtual void printCouponTicket(const std::string& code) = 0;
    virtual void stopAcceptAll() = 0;
    // The poll timer belongs to the owner: the controller only asks for it.
    virtual void startPollTimer(int intervalMs) = 0;
    virtual void stopPollTimer() = 0;
};

}  // namespace halvek
