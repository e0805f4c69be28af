#include "line_faults.h"

#include <algorithm>

namespace halvek::sim {

Bytes lineNoise(size_t n, size_t from) {
    Bytes junk(n);
    for (size_t i = 0; i < n; ++i) junk[i] = static_cast<uint8_t>(0xA5 ^ ((from + i) * 37));
    return junk;
}

LineFaults::Intake LineFaults::intake(uint8_t code) {
    if (auto d = drops_.find(code); d != drops_.end()) {
        if (--d->second <= 0) drops_.erase(d);
        return Intake::Lost;
    }
    if (ignored_.count(code)) return Intake::Ignored;
    if (refused_.count(code)) return Intake::Refused;
    return Intake::Answer;
}

void LineFaults::drop(uint8_t code, int count) {
    if (count > 0) drops_[code] = count;
}

void LineFaults::setRule(uint8_t code, Rule rule) {
    refused_.erase(code);
    ignored_.erase(code);
    if (rule == Rule::Refuse) refused_.insert(code);
    if (rule == Rule::Ignore) ignored_.insert(code);
}

void LineFaults::silence(int64_t until) {
    silent_ = true;
    silentUntil_ = until;
}

void LineFaults::speak() {
    silent_ = false;
    silentUntil_ = -1;
}

bool LineFaults::endSilence(int64_t now) {
    if (!silent_ || silentUntil_ < 0 || now < silentUntil_) return false;
    speak();
    return true;
}

namespace {

// Keeps the start byte, the length field and the code, claims LENGTH and fills
// the rest with noise: LENGTH bytes in all when that holds the head, else as
// many bytes as the true reply had (a length that small never completes).
Bytes announced(const Bytes& frame, bool extended, unsigned length) {
    const size_t head = extended ? 5 : 3;
    if (!extended) length = std::min(length, 255u);
    Bytes out(frame.begin(), frame.begin() + static_cast<long>(std::min(head, frame.size())));
    if (extended) {
        out[2] = static_cast<uint8_t>(length >> 8);
        out[3] = static_cast<uint8_t>(length);
    } else {
        out[1] = static_cast<uint8_t>(length);
    }
    const size_t total = length >= head ? length : frame.size();
    const Bytes body = lineNoise(total - out.size(), out.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

Bytes LineFaults::shape(Bytes frame, bool extended, const std::function<void(const std::string&)>& say) {
    const size_t checksumSize = extended ? 2 : 1;
    if (announce) {
        frame = announced(frame, extended, *announce);
        say("fault: reply announces " + std::to_string(extended ? *announce : std::min(*announce, 255u)) +
            " bytes, body is noise");
        announce.reset();
    }
    if (truncateNext) {
        truncateNext = false;
        frame.resize(frame.size() / 2);
        say("fault: reply cut short");
    }
    if (flipBit && frame.size() > checksumSize) {
        const size_t covered = frame.size() - checksumSize;
        const size_t byte = (*flipBit / 8) % covered;
        frame[byte] ^= static_cast<uint8_t>(1u << (*flipBit % 8));
        say("fault: bit " + std::to_string(*flipBit % 8) + " of reply byte " + std::to_string(byte) + " flipped");
        flipBit.reset();
    }
    if (corruptNext) {
        corruptNext = false;
        if (!frame.empty()) frame.back() ^= 0x5A;
        say("fault: checksum spoiled");
    }
    return frame;
}

}  // namespace halvek::sim
