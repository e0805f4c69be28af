#include "daemon/link_backend.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <map>

#include "link/texts.h"
#include "link/time_text.h"
#include "protocol/catalogue.h"

namespace halvek::daemon {

using service::Action;
using service::MoneyRecord;

namespace {

Action actionOf(const std::string& word) { return word == "accept" ? Action::Accept : Action::Return; }

std::string timestampOf(int64_t wallMs) {
    return isoTimestamp(std::chrono::system_clock::time_point(std::chrono::milliseconds(wallMs)));
}

}  // namespace

LinkBackend::LinkBackend(LinkController& link, JournalFile& journal, service::EscrowPolicyOptions policy,
                         Clocks clocks, Log log)
    : link_(link), journal_(journal), policy_(policy), clocks_(std::move(clocks)), log_(std::move(log)) {
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
        int64_t value = -1;
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
                s.value = e.value;
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
        if (s.expectedCount >= 0) {
            log_("episode " + std::to_string(id) + " was accepted by the last run with no outcome written: " +
                 "the unit's count settles it");
            unsettled_.push_back({id, s.type, s.value, Action::Accept, "", {}});
            link_.carryUnsettled(s.type, static_cast<uint32_t>(s.expectedCount));
        } else {
            // Nothing to compare the unit's count with: nobody can say whether it went in.
            MoneyEvent doubt{MoneyKind::InDoubt, s.type, s.value, 0, "", "outcome-not-seen-count-not-known"};
            doubt.episode = id;
            moneyEvent(doubt);
        }
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
    // The link ended the open episode with no outcome to tell yet (an accepted
    // bill gone without its stacked report): the unit's count settles it.
    if (open_ && !link_.escrowEpisode().open) {
        if (open_->decided == Action::Accept) unsettled_.push_back(*open_);
        policy_.onDecided(open_->id);
        open_.reset();
        openRecord_.reset();
    }
    policy_.onTick(now);
    for (const service::PolicyRequest& r : policy_.takeRequests()) {
        switch (r.kind) {
            case service::PolicyRequest::Kind::RestartEscrow:
                if (open_ && open_->id == r.episode && link_.escrowEpisode().open && !open_->decided)
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
    if (open_ && link_.escrowEpisode().open) v.escrow = openRecord_;
    v.credit = link_.stores().escrow.creditTotal;
    v.seq = lastSeq_;
    return v;
}

bool LinkBackend::decideBy(int64_t episode, Action action, const std::string& by) {
    if (!open_ || open_->id != episode || !link_.escrowEpisode().open || open_->decided) return false;
    // An accept whose record the journal cannot take is not sent: a bill is
    // never taken that the journal does not know of.
    if (action == Action::Accept && journalFailing_) {
        log_("episode " + std::to_string(episode) + ": the money journal fails, the bill is returned");
        action = Action::Return;
    }
    open_->decided = action;
    open_->by = by;
    policy_.onDecided(episode);
    return link_.decideEscrow(action == Action::Accept ? cmd::EscrowAccept : cmd::EscrowReturn);
}

service::ServiceBackend::DecideResult LinkBackend::decide(int64_t episode, Action action) {
    if (!open_ || open_->id != episode || !link_.escrowEpisode().open) return DecideResult::NoSuchEpisode;
    if (open_->decided) return *open_->decided == action ? DecideResult::Ok : DecideResult::AlreadyDecided;
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

MoneyRecord LinkBackend::clientRecord(const MoneyEvent& e, uint64_t seq, int64_t timeMs) const {
    MoneyRecord r;
    r.seq = seq;
    r.kind = moneyKindName(e.kind);
    r.episode = e.episode;
    r.type = e.type;
    r.value = e.value;
    r.currency = link_.stores().bills.currency(e.type);
    r.timeMs = timeMs;
    r.action = e.action;
    r.by = e.by;
    r.reason = e.reason;
    if (e.kind == MoneyKind::Credit) r.credit = e.creditTotal;
    if (e.kind == MoneyKind::InDoubt) {
        r.unitCount = e.unitCount;
        r.expectedCount = e.expectedCount;
    }
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
        out.records.push_back(clientRecord(r.record, r.seq, timeMs));
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
    ackedUpTo_ = seq;
}

void LinkBackend::takeEpisodeFor(MoneyEvent& e) {
    auto close = [this] {
        policy_.onDecided(open_->id);
        open_.reset();
        openRecord_.reset();
    };
    switch (e.kind) {
        case MoneyKind::Escrow:
            if (open_) {
                if (open_->decided == Action::Accept) unsettled_.push_back(*open_);
                close();
            }
            open_ = Episode{e.episode, e.type, e.value, {}, "", {}};
            return;
        case MoneyKind::Decision:
            if (!open_) return;
            e.episode = open_->id;
            // The link decided by itself (a bill of no known value is returned).
            if (!open_->decided) open_->decided = actionOf(e.action);
            if (open_->by.empty()) open_->by = "host";
            e.by = open_->by;
            policy_.onDecided(open_->id);
            return;
        case MoneyKind::Sent:
            if (open_) e.episode = open_->id;
            return;
        case MoneyKind::Stacked:
        case MoneyKind::Returned:
        case MoneyKind::InDoubt:
            if (e.episode == 0 && open_ && open_->type == e.type) {
                e.episode = open_->id;
                close();
            } else if (e.episode == 0) {
                const auto u = std::find_if(unsettled_.begin(), unsettled_.end(),
                                            [&e](const Episode& x) { return x.type == e.type; });
                if (u != unsettled_.end()) {
                    e.episode = u->id;
                    unsettled_.erase(u);
                }
            }
            if (e.kind == MoneyKind::Stacked) lastStackedEpisode_ = e.episode;
            return;
        case MoneyKind::Credit:
            e.episode = lastStackedEpisode_;
            return;
    }
}

void LinkBackend::moneyEvent(const MoneyEvent& event) {
    MoneyEvent e = event;
    const uint64_t seq = journal_.nextSeq();
    if (e.kind == MoneyKind::Escrow) e.episode = static_cast<int64_t>(seq);
    takeEpisodeFor(e);
    // The count an accepted bill must raise: what settles it after a crash.
    if ((e.kind == MoneyKind::Decision || e.kind == MoneyKind::Sent) && e.action == "accept")
        e.expectedCount = link_.expectedLifeCount();
    const int64_t timeMs = clocks_.wallMs();
    if (!journal_.append(e, timestampOf(timeMs))) {
        ++failedWrites_;
        if (!journalFailing_) log_(journal_.lastError());
        journalFailing_ = true;
    } else if (journalFailing_) {
        journalFailing_ = false;
        log_("the money journal " + journal_.path() + " takes records again");
    }
    lastSeq_ = seq;
    MoneyRecord r = clientRecord(e, seq, timeMs);
    if (e.kind == MoneyKind::Escrow) {
        const int64_t now = clocks_.steadyMs();
        const int64_t decideBy = policy_.onEscrow(e.episode, now);
        r.decideByMs = timeMs + (decideBy - now);
        r.defaultAction = service::actionName(policy_.options().defaultAction);
        openRecord_ = r;
    }
    if (server_) server_->publish(r);
}

void LinkBackend::eventAdded(const std::string& text) { publishNotice("unit", text); }
void LinkBackend::linkNotice(const std::string& text) { publishNotice("link", text); }

}  // namespace halvek::daemon
