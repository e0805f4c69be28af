#include "ticket_decoder.h"

#include <cstdio>

namespace halvek::sim {
namespace {

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FF = 0x0C;

// The printer's commands: lead byte, command letter, how many number bytes follow.
struct Command {
    uint8_t lead;
    uint8_t letter;
    int arguments;
};
constexpr Command kCommands[] = {
    {ESC, '@', 0}, {ESC, 'Y', 1}, {ESC, 'X', 2}, {ESC, 'M', 0}, {GS, 'N', 1}, {GS, 'T', 1}, {GS, 't', 1},
    {GS, 'V', 1},  {GS, 'l', 5},  {GS, 'A', 2},  {GS, 'W', 2},  {GS, 'h', 1}, {GS, 'k', 2},
};

const Command* find(uint8_t lead, uint8_t letter) {
    for (const Command& c : kCommands)
        if (c.lead == lead && c.letter == letter) return &c;
    return nullptr;
}

std::string hexByte(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

}  // namespace

void TicketDecoder::feed(const uint8_t* bytes, size_t n) {
    pending_.insert(pending_.end(), bytes, bytes + n);
    decode();
}

void TicketDecoder::flushText() {
    if (text_.empty()) return;
    sink_("text \"" + text_ + "\"");
    text_.clear();
}

size_t TicketDecoder::elementLength() const {
    const uint8_t lead = pending_[0];
    if (lead == FF) return 1;
    if (pending_.size() < 2) return 0;
    const Command* c = find(lead, pending_[1]);
    if (c == nullptr) return 2;  // named by its bytes
    size_t length = 2 + static_cast<size_t>(c->arguments);
    if (pending_.size() < length) return 0;
    if (c->letter == 'k') length += pending_[3];  // GS k m n, then n characters
    return pending_.size() < length ? 0 : length;
}

void TicketDecoder::emit(size_t length) {
    const uint8_t lead = pending_[0];
    std::string line;
    if (lead == FF) {
        line = "FF";
    } else {
        line = lead == ESC ? "ESC " : "GS ";
        const Command* c = find(lead, pending_[1]);
        if (c == nullptr) {
            line += hexByte(pending_[1]);
        } else {
            line += static_cast<char>(c->letter);
            const size_t numbers = 2 + static_cast<size_t>(c->arguments);
            for (size_t i = 2; i < numbers; ++i) line.append(" ").append(std::to_string(pending_[i]));
            if (numbers < length)
                line.append(" ").append(pending_.begin() + static_cast<long>(numbers),
                                        pending_.begin() + static_cast<long>(length));
        }
    }
    sink_(line);
}

void TicketDecoder::decode() {
    while (!pending_.empty()) {
        const uint8_t b = pending_[0];
        if (b != ESC && b != GS && b != FF) {
            text_ += static_cast<char>(b);
            pending_.erase(pending_.begin());
            continue;
        }
        flushText();
        const size_t length = elementLength();
        if (length == 0) break;
        emit(length);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
    }
}

}  // namespace halvek::sim
