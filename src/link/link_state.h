#pragma once

#include <string>

namespace halvek {

// What the window shows of the line beside CONNECT, and the monitor prints as it changes.
enum class LinkState { Closed, Waiting, Answering, NoAnswer };

struct LinkFacts {
    bool open = false;       // CONNECT was pressed and the line is held
    bool connected = false;  // the controller counts the unit as present
    int missedPolls = 0;     // polls sent since the last answer
    bool heard = false;      // an answer came since CONNECT
};

// A unit that answers misses at most the poll in flight; one that has missed
// more is waited for until the controller gives the link up.
constexpr int kAnsweringMissedPolls = 2;

LinkState linkStateOf(const LinkFacts& facts);

class LinkController;
// The facts as the controller holds them now.
LinkFacts linkFactsOf(const LinkController& controller);

const char* linkStateText(LinkState state);
// The text shown: the state, after "simulated: " when the line is the simulator's.
std::string linkStateCaption(LinkState state, bool simulated);

}  // namespace halvek
