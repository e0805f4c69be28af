#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace halvek::test {

// A pseudo-terminal whose slave the host opens like a real device while the
// test plays the far end on the master.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    void send(const std::vector<uint8_t>& bytes);
    // Reads until n bytes arrived or the timeout passed.
    std::vector<uint8_t> receive(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Whatever arrives within the time given.
    std::vector<uint8_t> drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(50));
    void closeMaster();
    void closeSlave();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Polls a condition until it holds or the timeout passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

}  // namespace halvek::test
