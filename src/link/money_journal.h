#pragma once

#include <string>

#include "link/status_listener.h"

namespace halvek {

// Every money event of the link, appended to a file the user names, one line
// each, written through to the disk before the next is decided, so a crash
// loses nothing already decided:
//   2026-12-10T13:40:01.123+01:00 stacked type=3 value=20 credit=60
// A value the host does not know reads "value=?"; decisions and frames sent
// carry "action=accept" or "action=return".
class MoneyJournal : public StatusListener {
  public:
    MoneyJournal() = default;
    ~MoneyJournal() override;
    MoneyJournal(const MoneyJournal&) = delete;
    MoneyJournal& operator=(const MoneyJournal&) = delete;

    // False, with the file and the reason in lastError(), when it cannot be opened.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& lastError() const { return lastError_; }

    void moneyEvent(const MoneyEvent& event) override;

    // The line an event is written as (without the line end).
    static std::string line(const MoneyEvent& event, const std::string& timestamp);

  private:
    int fd_ = -1;
    std::string path_;
    std::string lastError_;
};

}  // namespace halvek
