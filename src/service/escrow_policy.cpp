#include "service/escrow_policy.h"

#include <algorithm>

namespace halvek::service {

void EscrowPolicy::applyInhibit(bool force) {
    const bool want = !controller_ || controllerInhibit_;
    if (!force && inhibited_ == want) return;
    inhibited_ = want;
    requests_.push_back({want ? PolicyRequest::Kind::Inhibit : PolicyRequest::Kind::Uninhibit});
}

void EscrowPolicy::decideDefault() {
    if (!held_) return;
    requests_.push_back({PolicyRequest::Kind::DecideDefault, held_->episode, options_.defaultAction});
    held_.reset();
}

void EscrowPolicy::onLinkReady(int64_t) { applyInhibit(true); }

void EscrowPolicy::onController(bool present, int64_t) {
    controller_ = present;
    if (!present) {
        // Nobody is left to decide: the bill is settled now, and its wish to inhibit goes with it.
        controllerInhibit_ = false;
        decideDefault();
    }
    applyInhibit(false);
}

void EscrowPolicy::onControllerInhibit(bool on) {
    controllerInhibit_ = on;
    applyInhibit(false);
}

int64_t EscrowPolicy::onEscrow(int64_t episode, int64_t nowMs) {
    if (held_ && held_->episode == episode) return held_->decideByMs;
    // A bill that came in before the inhibit took hold, or one nobody can decide.
    held_ = Held{episode, nowMs + options_.escrowTimeoutMs, nowMs};
    if (!controller_) {
        held_->decideByMs = nowMs;
        decideDefault();
        return nowMs;
    }
    return held_->decideByMs;
}

void EscrowPolicy::onDecided(int64_t episode) {
    if (held_ && held_->episode == episode) held_.reset();
}

void EscrowPolicy::onTick(int64_t nowMs) {
    if (!held_) return;
    if (nowMs >= held_->decideByMs) {
        decideDefault();
        return;
    }
    if (const auto restartAt = restartAtMs(); restartAt && nowMs >= *restartAt) {
        requests_.push_back({PolicyRequest::Kind::RestartEscrow, held_->episode});
        held_->heldSinceMs = nowMs;
    }
}

std::optional<int64_t> EscrowPolicy::restartAtMs() const {
    const int64_t unitGivesUp = held_->heldSinceMs + options_.unitTimeoutMs;
    // Restart only while the unit would return the bill by itself before our
    // deadline, or so soon after it that the default decision could come too late.
    if (held_->decideByMs <= unitGivesUp - options_.restartLeadMs / 2) return std::nullopt;
    return unitGivesUp - options_.restartLeadMs;
}

std::optional<int64_t> EscrowPolicy::nextDeadlineMs() const {
    if (!held_) return std::nullopt;
    const auto restartAt = restartAtMs();
    return restartAt ? std::min(*restartAt, held_->decideByMs) : held_->decideByMs;
}

std::vector<PolicyRequest> EscrowPolicy::takeRequests() {
    std::vector<PolicyRequest> out;
    out.swap(requests_);
    return out;
}

std::optional<int64_t> EscrowPolicy::pendingEpisode() const {
    if (!held_) return std::nullopt;
    return held_->episode;
}

}  // namespace halvek::service
