#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/status_listener.h"
#include "money/journal.h"

namespace halvek {

// Every money record of the link, appended to the journal file the user names
// (the line format is the journal's own, see money/journal.h).
class MoneyJournal : public StatusListener {
  public:
    // False, with the file and the reason in lastError(), when it cannot be opened.
    bool open(const std::string& path);
    void close() { file_.close(); }
    bool isOpen() const { return file_.isOpen(); }
    const std::string& lastError() const { return lastError_; }
    // What was found wrong with the journal on opening ("" when nothing), said once by its owner.
    const std::string& damage() const { return file_.damage(); }
    // The seq the journal carries on from: the settlement machine numbers its records from here.
    uint64_t nextSeq() const { return file_.nextSeq(); }

    // Told when a write fails (with the file and the reason), and when the
    // journal takes records again after failing (with "").
    void setTroubleHandler(std::function<void(const std::string& error)> handler) { trouble_ = std::move(handler); }
    // Records that could not be written since the journal was opened.
    uint32_t failedWrites() const { return failedWrites_; }
    bool failing() const { return failing_; }

    void moneyEvent(const MoneyEvent& event) override;

  private:
    JournalFile file_;
    std::string lastError_;
    std::function<void(const std::string&)> trouble_;
    uint32_t failedWrites_ = 0;
    bool failing_ = false;
};

}  // namespace halvek
