#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "sim_data.h"

namespace halvek::sim {

struct SimOptions {
    Variant variant = Variant::L8V;
    bool failSensors = false;
    bool failOptics = false;
    bool failVideo = false;
    bool failVla = false;
    int escrowTimeoutMs = 10000;
};

// The simulated bill validator: its state machine, its data and its answers.
// It knows nothing of the line: the server feeds it command frames and time,
// and sends what it puts in its outbox. Times are milliseconds of any clock.
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

    // Runs one scenario command ("insert 3", "jam", "help", ...). Returns "" on
    // success, else what was wrong with it.
    std::string execute(const std::string& line, int64_t nowMs);
    static const char* scenarioHelp();

    // Where readable log lines go (the server sends them to standard error).
    std::function<void(const std::string&)> log;

    // For tests and the demo mode.
    Phase phase() const { return phase_; }
    std::array<uint8_t, 6> statusBytes() const;
    uint8_t setupByte() const { return setup_; }
    bool enabled(int type) const { return type >= 1 && type <= 64 && enabled_[type - 1]; }
    uint32_t lifeCount() const { return lifeCount_; }
    bool extendedLast() const { return extendedLast_; }
    bool interruptMode() const { return setup_ & 0x08; }
    const std::vector<Note>& notes() const { return notes_; }
    // The program the unit runs: reported by its revision, checksummed by "Run CRC",
    // sent by "Upload Firmware", replaced by what its loader received.
    const FirmwareFile& program() const { return program_; }
    void loadProgram(const FirmwareFile& program);

  private:
    void reply(uint8_t code, const Bytes& data = {});
    void answer(uint8_t code, const Bytes& data, int64_t now);
    Bytes statusData() const;
    void enter(Phase p, int64_t now, int durationMs);
    void finishPhase(int64_t now);
    void stack(int64_t now);
    void countEvent(int number);
    std::string insert(int type, const std::string& coupon, int64_t now);
    void powerCycle(int64_t now, bool withBill);
    void restoreDefaults();
    void say(const std::string& text) const;
    Bytes readClock() const;
    void setClock(const Bytes& record);

    SimOptions options_;
    std::vector<Note> notes_;
    std::vector<Bytes> outbox_;
    bool extendedLast_ = true;

    Phase phase_ = Phase::Idle;
    int64_t phaseEnd_ = -1;
    int billType_ = 0;
    std::string coupon_;
    uint8_t rejectReason_ = 0;
    bool stackedPending_ = false;
    int stackedType_ = 0;
    std::string stackedCoupon_;
    bool billJam_ = false, stackerJam_ = false, detached_ = false, full_ = false;
    bool powerUpWithBill_ = false, commTimeout_ = false;

    uint8_t setup_ = 0x04;  // escrow on, polling
    std::array<bool, 64> enabled_{};
    std::array<bool, 64> security_{};
    std::array<uint16_t, 64> billCounts_{};
    std::array<uint16_t, 20> eventCounts_{};
    std::array<uint32_t, 64> qrvCounts_{};
    uint32_t lifeCount_ = 0;
    std::array<uint8_t, 5> lastFive_{};
    std::array<uint8_t, 2> systemId_{0x12, 0x34};
    std::array<uint8_t, 4> serial_{0x00, 0x12, 0xD6, 0x87};
    std::array<uint8_t, 6> asset_{0xA5, 0x00, 0x00, 0x00, 0x10, 0x01};
    std::array<uint8_t, 2> factoryNumber_{0x00, 0x42};
    std::array<uint8_t, 2> productionDate_{0x23, 0x26};
    uint32_t burnCycles_ = 3;
    // The clock runs: it is the host's local time moved by what "set RTC" said.
    int64_t rtcOffsetSeconds_ = 0;
    uint8_t rtcByte7_ = 0;
    std::array<uint16_t, 15> cassetteBills_{};
    std::array<uint8_t, 20> cassetteFaults_{};
    std::array<uint8_t, 8> cassetteId_{};
    uint16_t crc16Result_ = 0;
    uint32_t crc32Result_ = 0;
    uint8_t acceptAllSeconds_ = 0;
    FirmwareFile program_;
    Bytes programBytes_;
    uint32_t corruptPacket_ = 0;

    // Faults the scenario asks for.
    bool silent_ = false;
    int64_t silentUntil_ = -1;
    bool truncateNext_ = false;
    bool corruptNext_ = false;
    std::set<uint8_t> unsupported_;
    std::set<uint8_t> ignored_;

    // Interrupt mode: what was last reported, and when the host was last asked to poll.
    std::array<uint8_t, 6> lastReported_{};
    int64_t lastPollRequest_ = 0;
};

}  // namespace halvek::sim
