#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace halvek::fuzz {

// Reads a fuzzer's input as a little script: each call takes the next bytes,
// and an input that has run out reads as zeros, so every input is a valid script.
class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool done() const { return at_ >= size_; }
    size_t left() const { return size_ - at_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool flag() { return byte() & 1; }
    uint16_t u16() { return static_cast<uint16_t>(byte() << 8 | byte()); }
    int32_t i32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return static_cast<int32_t>(v);
    }
    // Up to n bytes, fewer where the input ends.
    std::span<const uint8_t> bytes(size_t n) {
        const size_t k = n < left() ? n : left();
        std::span<const uint8_t> out(data_ + at_, k);
        at_ += k;
        return out;
    }
    std::span<const uint8_t> rest() { return bytes(left()); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A property the target asserts: a failure names itself and aborts, which the
// fuzzer records as a finding with its input.
[[noreturn]] inline void propertyFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
    std::abort();
}

}  // namespace halvek::fuzz

#define FUZZ_CHECK(cond, what)                                                 \
    do {                                                                       \
        if (!(cond)) ::halvek::fuzz::propertyFailed(what, __FILE__, __LINE__); \
    } while (0)

// Every target defines this; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
