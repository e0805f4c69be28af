#include "accessories/cassette_data_session.h"

#include <cstdint>
#include <cstdio>

#include "accessories/cassette_id.h"
#include "accessories/id_log_file.h"
#include "link/texts.h"
#include "pages/common/entry_check.h"
#include "protocol/catalogue.h"
#include "protocol/status_bits.h"

namespace halvek {
namespace {

std::string withId(const char* pattern, uint32_t id) {
    char buf[160];
    std::snprintf(buf, sizeof buf, pattern, formatCassetteId(id).c_str());
    return buf;
}

}  // namespace

void CassetteDataSession::changed() {
    if (listener_) listener_->cassetteDataChanged();
}

void CassetteDataSession::inform(const std::string& text, const std::string& detail) {
    ui_.showMessage({text::kInfo, text, Buttons::Ok, Icon::None, detail});
}

bool CassetteDataSession::ask(const char* title, const std::string& text) {
    return ui_.showMessage({title, text, Buttons::OkCancel}) == Answer::Ok;
}

bool CassetteDataSession::ready() {
    if (!link_.timerRunning()) {
        inform(text::kNoConnection);
        return false;
    }
    if (link_.stores().status.current[2] & status::kStackerDetached) {
        inform(text::kNoCassetteAttached);
        return false;
    }
    return true;
}

void CassetteDataSession::open() {
    CassetteDataStore& c = link_.stores().cassette;
    clearCassetteCounts(c);
    c.faultPage = 0;
    view_ = ViewKind::Bills;
    idShown_ = false;
    idAsked_ = false;
    idNumber_ = 1;
    idRefusal_.clear();
    logLines_.clear();
    // The log keeps the file chosen earlier in this run.
    if (logOn_) loadLog();
    changed();
}

void CassetteDataSession::loadLog() {
    std::string error;
    if (!ensureIdLog(logPath_, &error) || !loadIdLog(logPath_, logLines_, &error)) {
        logOn_ = false;
        logLines_.clear();
        inform(text::kIdLogReadFailed, error);
        return;
    }
    logOn_ = true;
    if (!logLines_.empty()) {
        idNumber_ = nextIdAfter(logLines_);
        idRefusal_.clear();
    }
}

void CassetteDataSession::readId() {
    if (!ready()) return;
    idRepliesBefore_ = link_.repliesTaken(cmd::ReadCassetteId);
    link_.request(cmd::ReadCassetteId);
    idAsked_ = true;
    // The field waits for this read's answer.
    idShown_ = false;
    changed();
}

void CassetteDataSession::onCassetteDataRefreshed() {
    if (idAsked_ && link_.repliesTaken(cmd::ReadCassetteId) != idRepliesBefore_) {
        idAsked_ = false;
        idShown_ = true;
    }
    changed();
}

void CassetteDataSession::readData() {
    if (!ready()) return;
    // Placed at once; its reply asks for the fault counts in turn.
    link_.sendSimpleCommand(cmd::ReadCassBillBuf, true);
}

void CassetteDataSession::clearData() {
    if (!ready()) return;
    if (!ask(text::kEraseTitle, text::kEraseQuestion)) return;
    link_.request(cmd::EraseSda);
    clearCassetteCounts(link_.stores().cassette);
    changed();
}

void CassetteDataSession::writeId() {
    if (!ready()) return;
    if (!idRefusal_.empty()) {
        inform(idRefusal_);
        return;
    }
    if (idNumber_ == 0) {
        inform(text::kEnterNumberAboveZero);
        return;
    }
    if (logOn_ && idLogHolds(logLines_, idNumber_)) {
        inform(withId(text::kIdExistsFormat, idNumber_));
        return;
    }
    if (!ask(text::kWriteIdTitle, withId(text::kWriteIdFormat, idNumber_))) return;
    link_.stores().cassette.idToWrite = cassetteIdRecord(idNumber_);
    link_.request(cmd::WriteCassetteId);
    if (logOn_) {
        std::string error;
        // The ID went to the cassette either way: keep it in the list so that
        // it is not given out twice, and say that the file missed it.
        if (!appendIdLog(logPath_, idNumber_, &error)) inform(text::kIdLogWriteFailed, error);
        logLines_.push_back(formatCassetteId(idNumber_));
        ++idNumber_;
    }
    changed();
}

bool CassetteDataSession::setIdNumberText(const std::string& text) {
    const auto id = parseCassetteId(text);
    if (!id) {
        char range[96];
        std::snprintf(range, sizeof range, kOutOfRangeFormat, 0u, static_cast<unsigned>(UINT32_MAX));
        // Digits too many for an ID are out of range; an empty box or other characters are no number.
        const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        idRefusal_ = digits ? range : kNotAPositiveInteger;
        return false;
    }
    idNumber_ = *id;
    idRefusal_.clear();
    return true;
}

void CassetteDataSession::setIdNumber(uint32_t id) {
    idNumber_ = id;
    idRefusal_.clear();
    changed();
}

bool CassetteDataSession::logOptionClicked() {
    // Without a connection the option goes off, and the click is then handled
    // as one on an unticked box.
    if (!link_.timerRunning()) {
        logOn_ = false;
        changed();
        inform(text::kNoConnection);
    }
    if (logOn_) {
        logOn_ = false;
        logLines_.clear();
        changed();
        return false;
    }
    return true;
}

void CassetteDataSession::logFileChosen(const std::string& path) {
    logPath_ = path;
    logLines_.clear();
    loadLog();
    changed();
}

void CassetteDataSession::logFileCancelled() {
    logOn_ = false;
    changed();
}

void CassetteDataSession::showBills() {
    view_ = ViewKind::Bills;
    changed();
}

void CassetteDataSession::showFaults() {
    view_ = ViewKind::Faults;
    changed();
}

void CassetteDataSession::flipFaultPage() {
    int& page = link_.stores().cassette.faultPage;
    page = page == 0 ? 1 : 0;
    changed();
}

const char* CassetteDataSession::viewTitle() const {
    return view_ == ViewKind::Bills ? text::kBillCountsTitle : text::kFaultCountsTitle;
}

const char* CassetteDataSession::pageButtonCaption() const {
    return view_ == ViewKind::Faults && faultPage() == 1 ? text::kPrevPage : text::kNextPage;
}

std::string CassetteDataSession::idFieldText() const {
    return idShown_ ? formatCassetteId(cassetteIdFromReply(link_.stores().cassette.idReply)) : std::string();
}

CassetteBillView CassetteDataSession::billView() const {
    return makeCassetteBillView(link_.stores().cassette, link_.stores().bills);
}

std::array<CassetteFaultRow, kFaultRowsPerPage> CassetteDataSession::faultView() const {
    return makeCassetteFaultView(link_.stores().cassette, faultPage());
}

}  // namespace halvek
