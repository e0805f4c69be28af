#include "daemon/link_backend.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "link/texts.h"
#include "link/time_text.h"
#include "protocol/catalogue.h"

namespace halvek::daemon {

using service::Action;
using service::MoneyRecord;

namespace {

std::string timestampOf(int64_t wallMs) {
    return isoTimestamp(std::chrono::system_clock::time_point(std::chrono::milliseconds(wallMs)));
}

}  // namespace

LinkBackend::LinkBackend(LinkController& link, JournalFile& journal, service::EscrowPolicyOptions policy, Clocks clocks,
                         Log log)
    : link_(link), journal_(journal), policy_(policy), clocks_(std::move(clocks)), log_(std::move(log)) {
    // Every bill waits for the controller or the escrow deadline; the credit
    // total counts every stacked bill of known value.
    SettlementRules rules = settlement().rules();
    rules.external = true;
    rules.creditAlways = true;
    settlement().setRules(rules);
    settlement().setFirstSeq(journal_.nextSeq());
    lastSeq_ = journal_.nextSeq() - 1;
}

void LinkBackend::recover() {
    JournalReading reading;
    std::string error;
    if (!readJournalFile(journal_.path(), 0, reading, &error)) {
        log_(error);
        return;
    }
    ackedUpTo_ = reading.ackedUpTo;
    // Episodes whose accept may have gone out and whose outcome is not written.
    struct Seen {
        int type = 0;
        bool accepted = false;
        int64_t expectedCount = -1;
        bool settled = false;
    };
    std::map<int64_t, Seen> episodes;
    for (const JournalRecord& r : reading.records) {
        const MoneyEvent& e = r.record;
        if (e.episode <= 0) continue;
        Seen& s = episodes[e.episode];
        switch (e.kind) {
            case MoneyKind::Escrow:
                s.type = e.type;
                break;
            case MoneyKind::Decision:
            case MoneyKind::Sent:
                if (e.action != "accept") break;
                s.accepted = true;
                if (e.expectedCount >= 0) s.expectedCount = e.expectedCount;
                break;
            case MoneyKind::Stacked:
            case MoneyKind::Returned:
            case MoneyKind::InDoubt:
                s.settled = true;
                break;
            case MoneyKind::Credit:
                break;
        }
    }
    for (const auto& [id, s] : episodes) {
        if (!s.accepted || s.settled || s.type <= 0) continue;
        log_("episode " + std::to_string(id) + " was accepted by the last run with no outcome written: " +
             (s.expectedCount >= 0 ? "the unit's count settles it" : "no count to settle it by, it is in doubt"));
        settlement().acceptedBeforeRestart(s.type, id, s.expectedCount);
    }
}

void LinkBackend::publishNotice(const std::string& kind, const std::string& text) {
    if (server_) server_->publishNotice(kind, text, clocks_.wallMs());
}

void LinkBackend::step() {
    const int64_t now = clocks_.steadyMs();
    const LinkState state = linkStateOf(linkFactsOf(link_));
    if (state != linkState_) {
        linkState_ = state;
        publishNotice("link", linkStateText(state));
        if (state == LinkState::Answering) policy_.onLinkReady(now);
    }
    const int unitState = link_.currentState();
    if (unitState != unitState_ && state == LinkState::Answering) {
        unitState_ = unitState;
        publishNotice("state", unitState == 0 ? "none" : text::stateName(unitState));
    }
    forgetEndedEpisode();
    policy_.onTick(now);
    for (const service::PolicyRequest& r : policy_.takeRequests()) {
        switch (r.kind) {
            case service::PolicyRequest::Kind::RestartEscrow:
                if (const Settlement::Episode ep = settlement().episode(); ep.id == r.episode && !ep.decided)
                    link_.request(cmd::RestartEscrow);
                break;
            case service::PolicyRequest::Kind::Inhibit:
                link_.request(cmd::InhibitUnit);
                break;
            case service::PolicyRequest::Kind::Uninhibit:
                link_.request(cmd::UninhibitUnit);
                break;
            case service::PolicyRequest::Kind::DecideDefault:
                decideBy(r.episode, r.action, "default");
                break;
        }
    }
}

service::StatusView LinkBackend::status() {
    service::StatusView v;
    v.link = linkStateText(linkStateOf(linkFactsOf(link_)));
    const int state = link_.currentState();
    v.state = state == 0 ? "none" : text::stateName(state);
    const BillStore& bills = link_.stores().bills;
    for (int t = 1; t <= kBillTypes; ++t)
        if (bills.enabled[static_cast<size_t>(t - 1)]) v.enabled.push_back(t);
    if (openRecord_ && settlement().episode().id == openRecord_->event.episode) v.escrow = openRecord_;
    v.credit = settlement().creditTotal();
    v.seq = lastSeq_;
    return v;
}

void LinkBackend::forgetEndedEpisode() {
    if (!openRecord_ || settlement().episode().id == openRecord_->event.episode) return;
    policy_.onDecided(openRecord_->event.episode);
    openRecord_.reset();
}

bool LinkBackend::decideBy(int64_t episode, Action action, const std::string& by) {
    // An accept whose record the journal cannot take is not sent: a bill is
    // never taken that the journal does not know of.
    if (action == Action::Accept && journalFailing_) {
        log_("episode " + std::to_string(episode) + ": the money journal fails, the bill is returned");
        action = Action::Return;
    }
    const halvek::DecideResult r =
        settlement().decide(episode, action == Action::Accept ? EscrowAction::Accept : EscrowAction::Return, by);
    if (r == halvek::DecideResult::Taken) policy_.onDecided(episode);
    return r == halvek::DecideResult::Taken;
}

service::ServiceBackend::DecideResult LinkBackend::decide(int64_t episode, Action action) {
    const Settlement::Episode ep = settlement().episode();
    if (ep.id == 0 || ep.id != episode) return DecideResult::NoSuchEpisode;
    if (ep.decided)
        return (ep.action == EscrowAction::Accept) == (action == Action::Accept) ? DecideResult::Ok
                                                                                 : DecideResult::AlreadyDecided;
    if (action == Action::Accept && journalFailing_) return DecideResult::Unavailable;
    return decideBy(episode, action, "controller") ? DecideResult::Ok : DecideResult::AlreadyDecided;
}

void LinkBackend::enable(const std::vector<int>& types) {
    auto& enabled = link_.stores().bills.enabled;
    enabled.fill(0);
    for (int t : types)
        if (BillStore::known(t)) enabled[static_cast<size_t>(t - 1)] = 1;
    link_.request(cmd::SetBillEnable);
}

void LinkBackend::inhibit(bool on) { policy_.onControllerInhibit(on); }

void LinkBackend::onControllerPresent(bool present) { policy_.onController(present, clocks_.steadyMs()); }

MoneyRecord LinkBackend::clientRecord(const MoneyEvent& e, int64_t timeMs) const {
    MoneyRecord r;
    r.event = e;
    r.currency = link_.stores().bills.currency(e.type);
    r.timeMs = timeMs;
    return r;
}

service::ServiceBackend::Replay LinkBackend::replayAfter(uint64_t since) {
    Replay out;
    JournalReading reading;
    std::string error;
    if (!readJournalFile(journal_.path(), 0, reading, &error)) {
        log_(error);
        return out;
    }
    if (!reading.records.empty() && since + 1 < reading.records.front().seq) {
        out.gap = true;
        out.first = reading.records.front().seq;
    }
    for (const JournalRecord& r : reading.records) {
        if (r.seq <= since) continue;
        int64_t timeMs = 0;
        service::parseIsoTime(r.timestamp, timeMs);
        out.records.push_back(clientRecord(r.record, timeMs));
    }
    return out;
}

std::vector<MoneyRecord> LinkBackend::unacked() {
    std::vector<MoneyRecord> out;
    for (MoneyRecord& r : replayAfter(ackedUpTo_).records)
        if (service::isOutcome(r)) out.push_back(std::move(r));
    return out;
}

void LinkBackend::ack(uint64_t seq) {
    seq = std::min(seq, lastSeq_);  // records not yet made cannot be taken
    if (seq <= ackedUpTo_) return;
    if (!journal_.appendAck(seq, timestampOf(clocks_.wallMs()))) {
        log_(journal_.lastError());
        return;
    }
    // The ack took a seq of the journal: the machine numbers on after it.
    settlement().setFirstSeq(journal_.nextSeq());
    lastSeq_ = journal_.nextSeq() - 1;
    ackedUpTo_ = seq;
}

void LinkBackend::moneyEvent(const MoneyEvent& e) {
    const int64_t timeMs = clocks_.wallMs();
    if (!journal_.append(e, timestampOf(timeMs))) {
        ++failedWrites_;
        if (!journalFailing_) log_(journal_.lastError());
        journalFailing_ = true;
    } else if (journalFailing_) {
        journalFailing_ = false;
        log_("the money journal " + journal_.path() + " takes records again");
    }
    lastSeq_ = std::max(lastSeq_, e.seq);
    MoneyRecord r = clientRecord(e, timeMs);
    if (e.kind == MoneyKind::Escrow) {
        forgetEndedEpisode();
        const int64_t now = clocks_.steadyMs();
        const int64_t decideBy = policy_.onEscrow(e.episode, now);
        r.decideByMs = timeMs + (decideBy - now);
        r.defaultAction = service::actionName(policy_.options().defaultAction);
        openRecord_ = r;
    } else if (e.kind == MoneyKind::Decision) {
        policy_.onDecided(e.episode);
    }
    if (server_) server_->publish(r);
}

void LinkBackend::eventAdded(const std::string& text) { publishNotice("unit", text); }
void LinkBackend::linkNotice(const std::string& text) { publishNotice("link", text); }

}  // namespace halvek::daemon
