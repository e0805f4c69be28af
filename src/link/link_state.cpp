#include "link/link_state.h"

#include "link/link_controller.h"

namespace halvek {

LinkState linkStateOf(const LinkFacts& f) {
    if (!f.open) return LinkState::Closed;
    // The controller counts the unit present until polls go unanswered, except
    // before the first poll of a fresh start.
    // The poll in flight right after CONNECT is not yet a silence.
    if (!f.connected) return f.missedPolls > kAnsweringMissedPolls ? LinkState::NoAnswer : LinkState::Waiting;
    if (f.heard && f.missedPolls <= kAnsweringMissedPolls) return LinkState::Answering;
    return LinkState::Waiting;
}

LinkFacts linkFactsOf(const LinkController& c) {
    // An answer since CONNECT is what the controller counts the unit present by.
    return {c.linkOpen(), c.linkConnected(), c.missedPollCount(), c.unitAnswered()};
}

const char* linkStateText(LinkState state) {
    switch (state) {
        case LinkState::Closed:
            return "not connected";
        case LinkState::Waiting:
            return "waiting for the unit";
        case LinkState::Answering:
            return "unit answering";
        case LinkState::NoAnswer:
            return "no answer";
    }
    return "";
}

std::string linkStateCaption(LinkState state, bool simulated) {
    return simulated ? std::string("simulated: ") + linkStateText(state) : linkStateText(state);
}

}  // namespace halvek
