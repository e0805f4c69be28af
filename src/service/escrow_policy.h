#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "service/protocol.h"

namespace halvek::service {

// When the service lets a bill wait in escrow and what it does when nobody
// decides. It has no clock and no line: facts come in with the time as a value,
// and what the link should do comes out as requests.
//
// - With a controller connected, a bill in escrow waits for its decision until
//   the escrow time-out; while that deadline lies beyond the unit's own escrow
//   time-out, the bill is kept held with "restart escrow" shortly before the
//   unit would return it by itself. At the deadline the default decision is taken.
// - With no controller, the unit is inhibited: no bill comes in that nobody can
//   decide. A bill already in escrow then gets the default decision at once.
// - The controller's own "inhibit" holds as long as it stays connected.
struct EscrowPolicyOptions {
    int64_t escrowTimeoutMs = 10000;  // how long a controller may take to decide
    Action defaultAction = Action::Return;
    int64_t unitTimeoutMs = 10000;  // after this the unit returns a held bill by itself
    int64_t restartLeadMs = 2000;   // "restart escrow" goes out this long before that
};

struct PolicyRequest {
    enum class Kind { RestartEscrow, Inhibit, Uninhibit, DecideDefault };
    Kind kind;
    int64_t episode = 0;             // RestartEscrow, DecideDefault
    Action action = Action::Return;  // DecideDefault

    bool operator==(const PolicyRequest&) const = default;
};

class EscrowPolicy {
  public:
    explicit EscrowPolicy(EscrowPolicyOptions options = {}) : options_(options) {}

    // The link is up (or came back): says once more whether the unit is to take bills.
    void onLinkReady(int64_t nowMs);
    void onController(bool present, int64_t nowMs);
    void onControllerInhibit(bool on);
    // A bill entered escrow; returns when it gets the default decision.
    int64_t onEscrow(int64_t episode, int64_t nowMs);
    // The episode was decided (by anyone) or ended on its own: the policy lets go of it.
    void onDecided(int64_t episode);
    void onTick(int64_t nowMs);
    // When onTick() next has something to do for the bill held (its default
    // decision or its "restart escrow"); none while no bill waits. The owner
    // need not look in before then.
    std::optional<int64_t> nextDeadlineMs() const;

    std::vector<PolicyRequest> takeRequests();
    const EscrowPolicyOptions& options() const { return options_; }
    bool inhibited() const { return inhibited_.value_or(false); }
    std::optional<int64_t> pendingEpisode() const;

  private:
    struct Held {
        int64_t episode;
        int64_t decideByMs;
        int64_t heldSinceMs;  // when the unit's own time-out began (escrow or last restart)
    };
    void decideDefault();
    void applyInhibit(bool force);
    // When "restart escrow" is due for the bill held; none when the unit
    // would not give it back before the deadline (or close enough to it).
    std::optional<int64_t> restartAtMs() const;

    EscrowPolicyOptions options_;
    bool controller_ = false;
    bool controllerInhibit_ = false;
    std::optional<bool> inhibited_;  // what the unit was last told; none before the first word
    std::optional<Held> held_;
    std::vector<PolicyRequest> requests_;
};

}  // namespace halvek::service
