#pragma once

#include <string>
#include <utility>
#include <vector>

#include "link/user_interface.h"

namespace halvek::test {

// A user interface that remembers everything the core asked of it.
class RecordingUi : public UserInterface {
  public:
    Answer showMessage(const Message& m) override {
        messages.push_back(m);
        return answer;
    }
    void showPage(TabRow row, int index, bool moveTab) override { pages.push_back({row, index, moveTab}); }
    void repaintDrawingArea(bool) override { ++repaints; }
    void setWindowTitle(const std::string& t) override { titles.push_back(t); }
    void setModeCaption(const std::string& c) override { captions.push_back(c); }
    void setConnectionControlsEnabled(bool e) override { controlsEnabled = e; }
    void refreshView(View v) override { refreshed.push_back(v); }
    void startPollTimer(int ms) override {
        timerMs = ms;
        timerRunning = true;
    }
    void stopPollTimer() override { timerRunning = false; }

    struct PageShown {
        TabRow row;
        int index;
        bool moveTab;
    };
    Answer answer = Answer::Ok;
    std::vector<Message> messages;
    std::vector<PageShown> pages;
    std::vector<std::string> titles, captions;
    std::vector<View> refreshed;
    int repaints = 0, timerMs = 0;
    bool timerRunning = false, controlsEnabled = true;
};

}  // namespace halvek::test
