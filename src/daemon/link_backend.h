#pragma once

#include <cstdint>
#include <deque>
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
// socket server. The link's money records are numbered by the journal, written
// to it and only then handed to the clients; decisions come from the
// controller or the escrow deadline and go to the link as its own escrow
// settings' would. Everything runs on the daemon's one thread.
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
    struct Episode {
        int64_t id = 0;
        int type = 0;
        int64_t value = -1;
        std::optional<service::Action> decided;
        std::string by;                // who decided, for the decision record
        std::optional<int64_t> decideByMs;  // wall clock
    };
    bool decideBy(int64_t episode, service::Action action, const std::string& by);
    void takeEpisodeFor(MoneyEvent& e);
    service::MoneyRecord clientRecord(const MoneyEvent& e, uint64_t seq, int64_t timeMs) const;
    void publishNotice(const std::string& kind, const std::string& text);

    LinkController& link_;
    JournalFile& journal_;
    service::EscrowPolicy policy_;
    Clocks clocks_;
    Log log_;
    service::Server* server_ = nullptr;
    std::optional<Episode> open_;
    std::optional<service::MoneyRecord> openRecord_;  // the open episode's escrow record, for STATUS
    // Accepted bills whose episode ended without an outcome yet: the unit's count settles them.
    std::deque<Episode> unsettled_;
    int64_t lastStackedEpisode_ = 0;
    uint64_t ackedUpTo_ = 0;
    uint64_t lastSeq_ = 0;
    uint32_t failedWrites_ = 0;
    bool journalFailing_ = false;
    LinkState linkState_ = LinkState::Closed;
    int unitState_ = -1;
    std::vector<int> enabled_;
};

}  // namespace halvek::daemon
