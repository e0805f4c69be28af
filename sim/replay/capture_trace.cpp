#include "capture_trace.h"

#include <cstdio>

namespace halvek::sim {
namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool atEnd() {
        while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n' || text_[pos_] == ' ')) next();
        return pos_ >= text_.size();
    }
    bool take(const char* literal) {
        size_t i = 0;
        while (literal[i] != '\0') {
            if (pos_ + i >= text_.size() || text_[pos_ + i] != literal[i]) return false;
            ++i;
        }
        for (size_t k = 0; k < i; ++k) next();
        return true;
    }
    void skipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') next();
    }
    bool number(uint64_t& value) {
        const size_t start = pos_;
        value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9' && pos_ - start < 18) {
            value = value * 10 + static_cast<uint64_t>(text_[pos_] - '0');
            next();
        }
        return pos_ > start;
    }
    // Two hex digits (either case) and the blank after them.
    bool hexByte(uint8_t& byte) {
        if (pos_ + 2 >= text_.size()) return false;
        const int hi = digit(text_[pos_]), lo = digit(text_[pos_ + 1]);
        if (hi < 0 || lo < 0 || text_[pos_ + 2] != ' ') return false;
        byte = static_cast<uint8_t>(hi * 16 + lo);
        next(), next(), next();
        return true;
    }
    int line() const { return line_; }

  private:
    static int digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }
    void next() {
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
    }
    const std::string& text_;
    size_t pos_ = 0;
    int line_ = 1;
};

std::string complaint(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

}  // namespace

CaptureTrace parseCapture(const std::string& text) {
    CaptureTrace trace;
    Reader r(text);
    while (!r.atEnd()) {
        CapturedFrame f;
        f.line = r.line();
        r.skipBlanks();
        if (!r.take("T(")) {
            trace.stoppedAt = complaint(f.line, "an entry starts with \"T(\"");
            break;
        }
        r.skipBlanks();
        if (!r.number(f.timeMs) || !r.take(" ms)")) {
            trace.stoppedAt = complaint(f.line, "no time \"T( 00001234 ms)\"");
            break;
        }
        if (r.take("CMD[ "))
            f.sent = true;
        else if (r.take("MSG[ "))
            f.sent = false;
        else {
            trace.stoppedAt = complaint(f.line, "neither CMD[ nor MSG[ after the time");
            break;
        }
        uint8_t b = 0;
        while (r.hexByte(b)) f.bytes.push_back(b);
        if (!r.take("]")) {
            trace.stoppedAt = complaint(f.line, "a byte that is not two hex digits and a blank, or no closing ]");
            break;
        }
        if (f.sent) r.take("  :  ");
        if (!trace.frames.empty() && f.timeMs < trace.frames.back().timeMs) {
            trace.stoppedAt = complaint(f.line, "the time runs backwards (left over from an older capture?)");
            break;
        }
        if (f.bytes.empty()) {
            trace.stoppedAt = complaint(f.line, "an entry without bytes");
            break;
        }
        trace.frames.push_back(std::move(f));
    }
    return trace;
}

std::string formatCaptureEntry(const CapturedFrame& frame) {
    std::string hex;
    char buf[8];
    for (uint8_t b : frame.bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        hex += buf;
    }
    char head[40];
    std::snprintf(head, sizeof head, "T( %08llu ms)", static_cast<unsigned long long>(frame.timeMs));
    return head + std::string(frame.sent ? "CMD[ " : "MSG[ ") + hex + (frame.sent ? "]  :  " : "]\r\n");
}

}  // namespace halvek::sim
