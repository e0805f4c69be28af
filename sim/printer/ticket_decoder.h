#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace halvek::sim {

// Reads the byte stream a ticket printer receives and names each element it
// recognises, one line each: "ESC @", "GS N 65", "GS k 7 4 0123",
// "text \"QORVANE, INC.\"", "FF". Bytes may arrive in any pieces: an element
// is named once it is complete. Unknown sequences are named by their bytes
// ("ESC 0x21") so that nothing passes unseen.
class TicketDecoder {
  public:
    using Sink = std::function<void(const std::string&)>;
    explicit TicketDecoder(Sink sink) : sink_(std::move(sink)) {}

    void feed(const uint8_t* bytes, size_t n);
    // Names the text collected so far (the line went quiet).
    void flushText();

  private:
    void decode();
    // Length of the element at the front of pending_, 0 while incomplete.
    size_t elementLength() const;
    void emit(size_t length);

    Sink sink_;
    std::vector<uint8_t> pending_;
    std::string text_;
};

}  // namespace halvek::sim
