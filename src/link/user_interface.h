#pragma once

#include <cstdint>
#include <initializer_list>
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

// What shows the validator's data: the pages of both rows, the bill list and the
// tool windows. The core asks a view to show fresh data; one that is not open
// simply is not refreshed, and its data wait in the stores.
enum class View : uint8_t {
    BillList,
    // Lower row: painted in the drawing area.
    CommandStatus,
    Statistics,
    Sensors,
    MainOptics,
    VideoTest,
    ViewData,
    QuickTest,
    // Upper row.
    Setup,
    RevId,
    Escrow,
    Counters,
    Crc,
    Factory,
    Rtc,
    Vla,
    // Tool windows.
    CassetteData,
    CassetteControls,
};

// A set of views, one bit each.
class Views {
  public:
    constexpr Views() = default;
    constexpr Views(std::initializer_list<View> views) {
        for (View v : views) bits_ |= bit(v);
    }
    constexpr bool has(View v) const { return (bits_ & bit(v)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }

  private:
    static constexpr uint32_t bit(View v) { return uint32_t{1} << static_cast<unsigned>(v); }
    uint32_t bits_ = 0;
};

// The lower page a view is painted on, or -1 for views with widgets of their own.
constexpr int lowerPageOf(View v) {
    switch (v) {
        case View::CommandStatus:
            return page::CommandStatus;
        case View::Statistics:
            return page::Statistics;
        case View::Sensors:
            return page::Sensors;
        case View::MainOptics:
            return page::MainOptics;
        case View::VideoTest:
            return page::VideoTest;
        case View::ViewData:
            return page::ViewData;
        case View::QuickTest:
            return page::QuickTest;
        default:
            return -1;
    }
}

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
// console tool and the tests each implement it. Tool windows' sessions report
// through listeners of their own, not through this interface.
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
    // A view with widgets of its own (not painted in the drawing area) shows fresh data.
    virtual void refreshView(View view) = 0;
    // The poll timer belongs to the owner: the controller only asks for it.
    virtual void startPollTimer(int intervalMs) = 0;
    virtual void stopPollTimer() = 0;
};

// Shows nothing and answers every question with its first button: the base of
// owners without a screen, which override what they care about.
class NullUserInterface : public UserInterface {
  public:
    Answer showMessage(const Message&) override { return Answer::Ok; }
    void showPage(TabRow, int, bool) override {}
    void repaintDrawingArea(bool) override {}
    void setWindowTitle(const std::string&) override {}
    void setModeCaption(const std::string&) override {}
    void setConnectionControlsEnabled(bool) override {}
    void refreshView(View) override {}
    void startPollTimer(int) override {}
    void stopPollTimer() override {}
};

}  // namespace halvek
