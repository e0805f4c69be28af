#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cassette_memory.h"
#include "crc_engine.h"
#include "firmware/firmware_file.h"
#include "sim_data.h"
#include "unit_bits.h"

namespace halvek::sim {

// What the simulated unit remembers: the data its commands read and write.
// Plain fields, because the responders are the only ones that give them a
// meaning on the line; the few operations here are the ones several
// responders or the state machine share.
struct ValidatorMemory {
    explicit ValidatorMemory(std::vector<Note> billTable = defaultNotes());

    // Set-up and enables.
    uint8_t setup = setupbit::EscrowOn;  // escrow on, polling
    std::array<bool, 64> enabled{};
    std::array<bool, 64> security{};
    std::vector<Note> notes;
    AcceptAllMode acceptAll;

    // Counters and statistics.
    std::array<uint16_t, 64> billCounts{};
    std::array<uint16_t, 20> eventCounts{};
    std::array<uint32_t, 64> qrvCounts{};
    uint32_t lifeCount = 0;
    std::array<uint8_t, 5> lastFive{};

    // Identity.
    std::array<uint8_t, 2> systemId{0x12, 0x34};
    std::array<uint8_t, 4> serial{0x00, 0x12, 0xD6, 0x87};
    std::array<uint8_t, 6> asset{0xA5, 0x00, 0x00, 0x00, 0x10, 0x01};
    std::array<uint8_t, 2> factoryNumber{0x00, 0x42};
    std::array<uint8_t, 2> productionDate{0x23, 0x26};
    uint32_t burnCycles = 3;

    // The clock runs: it is the host's local time moved by what "set RTC" said.
    int64_t rtcOffsetSeconds = 0;
    uint8_t rtcByte7 = 0;

    // The attached cassette's identity and records.
    CassetteMemory cassette;

    // Program image and the results of the CRC runs over it.
    FirmwareFile program;
    CrcEngine crc;

    bool anyEnabled() const;
    void restoreDefaults();
    // Counts statistics event NUMBER (1 to 20) and its cassette fault record.
    void countEvent(int number);
    // Counts a bill of TYPE going into the stacker.
    void countStacked(int type);
    // The eight clock bytes (BCD) as "read RTC" answers them; setClock takes the same record.
    Bytes readClock() const;
    void setClock(const Bytes& record);
};

}  // namespace halvek::sim
