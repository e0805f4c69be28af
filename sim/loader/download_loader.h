#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"

namespace halvek::sim {

// The unit's download loader: raw "#C" commands, 128-byte blocks and "#A"
// acknowledgements, no parity, starting at 9600 baud. Like a real loader it
// hears only bytes sent at its own speed, refuses the header and blocks until
// the memory has been erased, and keeps every block by its address.
class DownloadLoader {
  public:
    using Bytes = std::vector<uint8_t>;

    // Bytes from the host, sent at the host's line speed.
    void feed(const uint8_t* bytes, size_t n, int hostBaud);
    // Replies, one entry per reply, in order.
    std::vector<Bytes> takeOutput();

    // "refuse STEP N [after M]", "mute STEP [N]", "trail STEP [N]"; "" on success, else the complaint.
    std::string execute(const std::string& line);
    static const char* scenarioHelp();
    static bool isLoaderCommand(const std::string& word) {
        return word == "refuse" || word == "mute" || word == "trail";
    }

    void reset();  // power-up in the loader
    int baud() const { return baud_; }
    bool erased() const { return erased_; }
    bool finished() const { return finished_; }
    bool left() const { return left_; }
    const std::optional<FirmwareHeader>& header() const { return header_; }
    const std::map<uint32_t, std::array<uint8_t, kFirmwareBlockSize>>& blocks() const { return blocks_; }
    // What was loaded, in the firmware file's layout (blocks in the order they came).
    FirmwareFile loaded() const;
    uint32_t droppedBytes() const { return dropped_; }

    std::function<void(const std::string&)> log;

  private:
    enum class Expect { Command, HeaderData, BlockData };
    struct Fault {
        int after = 0;   // acceptances still to come before the refusals
        int refuse = 0;  // refusals still to give
        int mute = 0;    // frames still to ignore
        int trail = 0;   // replies still to follow with stray bytes
    };

    void parse();
    void command(uint8_t code, const uint8_t* params);
    void acknowledge();
    void dataComplete();
    void reply(const Bytes& b);
    void refuse() { reply({0x23, 0x4E}); }
    bool refuseNow(const std::string& step);
    bool muteNow(const std::string& step);
    bool trailNow(const std::string& step);
    void say(const std::string& s) const {
        if (log) log(s);
    }

    int baud_ = 9600;
    bool erased_ = false, finished_ = false, left_ = false;
    Expect expect_ = Expect::Command;
    Bytes in_;
    Bytes data_;
    enum class Pending { None, Header, Block } pending_ = Pending::None;
    uint32_t pendingAddress_ = 0;
    FirmwareHeader pendingHeader_;
    Bytes pendingData_;
    uint32_t blockAddress_ = 0;
    std::optional<FirmwareHeader> header_;
    std::map<uint32_t, std::array<uint8_t, kFirmwareBlockSize>> blocks_;
    std::vector<uint32_t> order_;
    std::map<std::string, Fault> faults_;
    std::vector<Bytes> out_;
    uint32_t dropped_ = 0;
    std::string answering_;  // the step the reply being made answers
};

}  // namespace halvek::sim
