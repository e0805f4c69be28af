#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/link_controller.h"
#include "link/link_state.h"
#include "link/status_listener.h"
#include "money/journal.h"
#include "service/backend.h"
#include "service/escrow_policy.h"
#include "service/server.h"

namespace halvek::daemon {

// The glue between the link, the money journal, the escrow policy and the
// socket server. The link's settlement machine decides nothing by itself here:
// every bill is decided by the controller or by the escrow deadline through
// it. Its numbered records are written to the journal and only then handed to
// the clients. Everything runs on the daemon's one thread.
class LinkBackend : public service::ServiceBackend, public StatusListener {
  public:
    struct Clocks {
        std::function<int64_t()> steadyMs;  // for deadlines
        std::function<int64_t()> wallMs;    // for the times clients see
    };
    using Log = std::function<void(const std::string&)>;

    LinkBackend(LinkController& link, JournalFile& journal, service::EscrowPolicyOptions policy, Clocks clocks,
                Log log);

    void setServer(service::Server* server) { server_ = server; }
    // Reads the journal: the last ack, and an accepted bill of an earlier run
    // whose outcome it does not hold. Call once the line is open: that bill is
    // then settled from the unit's count, or reported in doubt.
    void recover();
    // After every tick and every reply: link changes, the escrow deadline, and
    // what the policy asks of the link.
    void step();
    // The steady time at which step() next has something to do by the clock
    // (the escrow deadline, a "restart escrow"); none while nothing is timed.
    std::optional<int64_t> nextDeadlineMs() const { return policy_.nextDeadlineMs(); }

    // ServiceBackend.
    service::StatusView status() override;
    DecideResult decide(int64_t episode, service::Action action) override;
    void enable(const std::vector<int>& types) override;
    void inhibit(bool on) override;
    Replay replayAfter(uint64_t since) override;
    std::vector<service::MoneyRecord> unacked() override;
    void ack(uint64_t seq) override;
    void onControllerPresent(bool present) override;

    // StatusListener.
    void moneyEvent(const MoneyEvent& event) override;
    void eventAdded(const std::string& text) override;
    void linkNotice(const std::string& text) override;

    // Records the journal could not take (said in the log at once).
    uint32_t failedWrites() const { return failedWrites_; }

  private:
    bool decideBy(int64_t episode, service::Action action, const std::string& by);
    // The escrow record of the bill the machine holds, while it holds it.
    void forgetEndedEpisode();
    service::MoneyRecord clientRecord(const MoneyEvent& e, int64_t timeMs) const;
    void publishNotice(const std::string& kind, const std::string& text);
    Settlement& settlement() { return link_.settlement(); }

    LinkController& link_;
    JournalFile& journal_;
    service::EscrowPolicy policy_;
    Clocks clocks_;
    Log log_;
    service::Server* server_ = nullptr;
    std::optional<service::MoneyRecord> openRecord_;  // the open episode's escrow record, for STATUS
    uint64_t ackedUpTo_ = 0;
    uint64_t lastSeq_ = 0;
    uint32_t failedWrites_ = 0;
    bool journalFailing_ = false;
    LinkState linkState_ = LinkState::Closed;
    int unitState_ = -1;
};

}  // namespace halvek::daemon
