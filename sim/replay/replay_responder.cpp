#include "replay_responder.h"

namespace halvek::sim {

ReplayResponder::ReplayResponder(const CaptureTrace& trace) {
    for (const CapturedFrame& f : trace.frames) {
        if (f.sent) {
            exchanges_.push_back({f.bytes, {}, f.timeMs, 0, false});
        } else if (exchanges_.empty()) {
            ++unpromptedAtStart_;
        } else {
            // In interrupt mode the unit speaks on its own; it is played after the
            // answer to the command before it.
            Exchange& e = exchanges_.back();
            if (e.reply.empty()) e.delayMs = f.timeMs - e.sentMs;
            auto& reply = e.reply;
            reply.insert(reply.end(), f.bytes.begin(), f.bytes.end());
        }
    }
}

ReplayResponder::Answer ReplayResponder::answer(const std::vector<uint8_t>& command) {
    for (size_t i = cursor_; i < exchanges_.size(); ++i) {
        Exchange& e = exchanges_[i];
        if (e.played || e.command != command) continue;
        e.played = true;
        ++played_;
        while (cursor_ < exchanges_.size() && exchanges_[cursor_].played) ++cursor_;
        return {e.reply, true, false, e.delayMs};
    }
    for (size_t i = exchanges_.size(); i-- > 0;)
        if (exchanges_[i].played && exchanges_[i].command == command)
            return {exchanges_[i].reply, true, true, exchanges_[i].delayMs};
    return {};
}

}  // namespace halvek::sim
