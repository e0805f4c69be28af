#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "accessories/accessory_texts.h"
#include "accessories/cassette_records.h"
#include "link/link_controller.h"
#include "link/user_interface.h"

namespace halvek {

class CassetteDataListener {
  public:
    virtual ~CassetteDataListener() = default;
    // Anything the window shows may have changed: list, ID number, ID field, view.
    virtual void cassetteDataChanged() = 0;
};

// The logic of the cassette data window: reading, writing and logging the
// cassette's ID, reading and erasing its bill and fault records, and the view
// shown. The session lives as long as the program, so the log option and the
// chosen log file survive the window; open() starts a fresh window's state.
class CassetteDataSession {
  public:
    enum class ViewKind { Bills, Faults };

    CassetteDataSession(LinkController& link, UserInterface& ui) : link_(link), ui_(ui) {}
    void setListener(CassetteDataListener* listener) { listener_ = listener; }

    // The window opened: counts cleared, bill view, ID number 1 or the log's next.
    void open();

    // Buttons. Each asks for its command only with the validator polled and a
    // cassette attached, and says why not otherwise.
    void readId();
    void readData();
    void clearData();
    void writeId();

    // The edit box: digits only, at most 4294967295. Anything else is false:
    // the number stays, and WRITE refuses (idRefusal) until the box holds a
    // number again, so that no other number than the one shown is written.
    bool setIdNumberText(const std::string& text);
    void setIdNumber(uint32_t id);
    const std::string& idRefusal() const { return idRefusal_; }

    // The log check box. True when the window must now ask for the file and
    // answer with logFileChosen() or logFileCancelled().
    bool logOptionClicked();
    void logFileChosen(const std::string& path);
    void logFileCancelled();

    // Tabs and paging.
    void showBills();
    void showFaults();
    void flipFaultPage();

    // The owner is told that the cassette data changed (refreshView). The ID
    // field shows an ID only once a reply to READ CASS ID has been stored
    // since it was pressed: a read that timed out shows nothing, not the ID
    // of an earlier read.
    void onCassetteDataRefreshed();

    // What the window shows.
    uint32_t idNumber() const { return idNumber_; }
    bool logOn() const { return logOn_; }
    const std::string& logPath() const { return logPath_; }
    const std::vector<std::string>& logLines() const { return logLines_; }
    ViewKind view() const { return view_; }
    int faultPage() const { return link_.stores().cassette.faultPage; }
    const char* viewTitle() const;
    const char* pageButtonCaption() const;
    bool pageButtonEnabled() const { return view_ == ViewKind::Faults; }
    // The ID read from the cassette; empty until one was read since the window opened.
    std::string idFieldText() const;
    CassetteBillView billView() const;
    std::array<CassetteFaultRow, kFaultRowsPerPage> faultView() const;

  private:
    bool ready();
    bool ask(const char* title, const std::string& text);
    void inform(const std::string& text, const std::string& detail = {});
    void loadLog();
    void changed();

    LinkController& link_;
    UserInterface& ui_;
    CassetteDataListener* listener_ = nullptr;
    bool logOn_ = false;
    std::string logPath_ = text::kDefaultIdLog;
    std::vector<std::string> logLines_;
    uint32_t idNumber_ = 1;
    ViewKind view_ = ViewKind::Bills;
    bool idShown_ = false;
    bool idAsked_ = false;
    uint32_t idRepliesBefore_ = 0;  // ID replies stored when READ CASS ID was pressed
    std::string idRefusal_;
};

}  // namespace halvek
