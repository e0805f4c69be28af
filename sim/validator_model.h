#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "line_faults.h"
#include "sim_data.h"
#include "validator_memory.h"

namespace halvek::sim {

struct SimOptions {
    Variant variant = Variant::L8V;
    // The fifth character of the program revision. Types V, L and S have no clock.
    char unitType = 'A';
    bool failSensors = false;
    bool failOptics = false;
    bool failVideo = false;
    bool failVla = false;
    int escrowTimeoutMs = 10000;
    int crcBusyMs = 0;  // how long "Run CRC" keeps the unit from answering "Read CRC"
};

// What the unit's sensors see; a scenario sets and clears these.
struct Conditions {
    bool billJam = false;
    bool stackerJam = false;
    bool detached = false;
    bool full = false;
    bool commTimeout = false;
};

// Changes to what the next replies carry, asked for by a scenario, each used up once.
struct ReplyQuirks {
    struct Unasked {
        uint8_t code;
        std::optional<Bytes> data;  // none: the unit's normal data for the code
    };
    struct LongReply {
        uint8_t code;
        size_t length;  // bytes of the whole (long layout) frame
    };
    uint32_t corruptPacket = 0;     // the upload packet (1 = first) sent damaged, once
    int stackedRepeats = 1;         // status replies that report the next stacked bill
    int eventBurst = 0;             // events the next status reply adds at once
    bool unaskedInterrupt = false;  // the next "read setup" claims interrupt mode
    std::optional<Unasked> unasked;
    std::optional<LongReply> longReply;
};

// How many events one status reply can add at most (see ReplyQuirks::eventBurst).
int maxEventBurst();

// The simulated bill validator's state machine. It knows nothing of the line:
// the server feeds it command frames and time, and sends what it puts in its
// outbox. Its data live in ValidatorMemory, its answers in the responder table
// (responders.h), its scenario language in scenario.h. Times are milliseconds
// of any clock.
class ValidatorModel {
  public:
    enum class Phase { PowerUp, Idle, Accepting, Escrow, Stacking, Returning, Rejecting, Vla };

    explicit ValidatorModel(SimOptions options = {}, int64_t nowMs = 0);

    // A command frame from the host (start byte to checksum).
    void handleFrame(const Bytes& frame, int64_t nowMs);
    // Lets time pass: ends timed phases, and in interrupt mode reports changes.
    void advance(int64_t nowMs);
    // When advance() next has something to do; -1 when nothing is timed.
    int64_t nextEventMs() const;
    // Bytes to send to the host, in order.
    std::vector<Bytes> takeOutput();

    // Runs one scenario command ("insert 3", "jam", ...). Returns "" on
    // success, else what was wrong with it.
    std::string execute(const std::string& line, int64_t nowMs);
    static const std::string& scenarioHelp();

    // Where readable log lines go (the server sends them to standard error).
    std::function<void(const std::string&)> log;

    // For tests and the demo mode.
    Phase phase() const { return phase_; }
    std::array<uint8_t, 6> statusBytes() const;
    uint8_t setupByte() const { return memory_.setup; }
    bool enabled(int type) const { return type >= 1 && type <= 64 && memory_.enabled[static_cast<size_t>(type - 1)]; }
    uint32_t lifeCount() const { return memory_.lifeCount; }
    bool extendedLast() const { return extendedLast_; }
    bool interruptMode() const { return memory_.setup & setupbit::Interrupt; }
    const std::vector<Note>& notes() const { return memory_.notes; }
    // The program the unit runs: reported by its revision, checksummed by "Run CRC",
    // sent by "Upload Firmware", replaced by what its loader received.
    const FirmwareFile& program() const { return memory_.program; }
    void loadProgram(const FirmwareFile& program);

    // What the responders and the scenario commands work with.
    ValidatorMemory& memory() { return memory_; }
    const SimOptions& options() const { return options_; }
    Conditions& conditions() { return conditions_; }
    LineFaults& line() { return line_; }
    ReplyQuirks& quirks() { return quirks_; }
    void say(const std::string& text) const;

    // Answers the command CODE as the unit does (the responder table), DATA its parameters.
    void respond(uint8_t code, const Bytes& data, int64_t now);
    // A reply in the layout of the host's last frame.
    void reply(uint8_t code, const Bytes& data = {});
    // A reply in the long layout whatever the link's.
    void replyExtended(uint8_t code, const Bytes& data);
    // Bytes that are no reply, sent as they are.
    void sendRaw(Bytes bytes);
    // The status data to report now; reporting uses up a stacked bill's report.
    Bytes statusReply();
    // The data the unit would answer CODE with, without anything changing.
    Bytes normalData(uint8_t code, int64_t now) const;

    // What happens to bills and the unit.
    std::string insert(int type, const std::string& coupon, int64_t now);
    std::string startReject(uint8_t reason, int64_t now);
    void powerCycle(int64_t now, bool withBill);
    void acceptEscrow(int64_t now);
    void returnEscrow(int64_t now);
    void restartEscrow(int64_t now);
    void startVla(int64_t now);

  private:
    void emit(uint8_t code, Bytes data, bool extended);
    void enter(Phase p, int64_t now, int durationMs);
    void finishPhase(int64_t now);
    void stack(int64_t now);
    void addEventBurst(std::array<uint8_t, 6>& s);

    SimOptions options_;
    ValidatorMemory memory_;
    Conditions conditions_;
    LineFaults line_;
    ReplyQuirks quirks_;
    std::vector<Bytes> outbox_;
    bool extendedLast_ = true;

    Phase phase_ = Phase::Idle;
    int64_t phaseEnd_ = -1;
    int billType_ = 0;
    std::string coupon_;
    uint8_t rejectReason_ = 0;
    bool powerUpWithBill_ = false;
    bool vlaInhibit_ = false;  // the inhibit is a failed VLA's
    // A stacked bill is reported on this many more status replies.
    int stackedReports_ = 0;
    int stackedType_ = 0;
    std::string stackedCoupon_;

    // Interrupt mode: what was last reported, and when the host was last asked to poll.
    std::array<uint8_t, 6> lastReported_{};
    int64_t lastPollRequest_ = 0;
};

}  // namespace halvek::sim
