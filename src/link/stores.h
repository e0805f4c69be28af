#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/command_history.h"

namespace halvek {

// The validator's data as the host last read it. Plain records owned by one
// Stores object that lives as long as the program: pages come and go, the
// data stay.

constexpr int kBillTypes = 64;
constexpr int kCouponType = 16;

struct BillStore {
    // Slot k holds bill type k + 1: type number (0 = empty slot), three
    // currency letters, value byte, exponent byte (extended layout only).
    std::array<std::array<uint8_t, 6>, kBillTypes> table{};
    std::array<int32_t, kBillTypes + 1> values{};  // whole currency units, index = bill type
    std::array<uint8_t, kBillTypes> enabled{};     // index = bill type - 1
    std::array<uint8_t, kBillTypes> security{};
    bool tableLoaded = false;

    static bool known(int type) { return type >= 1 && type <= kBillTypes; }
    std::string currency(int type) const;  // the three letters ("" for an unknown type)
    int32_t value(int type) const { return known(type) ? values[type] : 0; }
    // Recomputes the values from the table: rows 1-64 (extended) or 1-16 (standard).
    void recomputeValues(bool extended);
};

struct StatusBytes {
    std::array<uint8_t, 6> current{};   // S0..S5
    std::array<uint8_t, 6> previous{};  // P0..P5
    // As the last reply carried them. The decoder clears the escrow and stacked
    // bits in `current` (they are never remembered); the state shown and the
    // status title use these, so that a bill in escrow is seen as "escrow".
    std::array<uint8_t, 6> received{};
};

// The last eight events, oldest first, with the count of events since start.
using EventList = ScrollingLines<8>;

struct StatisticsStore {
    std::array<uint16_t, kBillTypes> billCounts{};
    std::array<uint16_t, 20> eventCounts{};
    uint8_t lastEvent = 0;
    uint8_t lastBillType = 0;
    uint32_t acceptedTotal = 0;
    bool billPage = true;   // bill types 1-32 shown
    bool eventPage = true;  // events 1-9 shown
    void clear() { *this = StatisticsStore{}; }
};

// Bill-path sensors, in display order.
enum SensorRow { Sidelook = 0, ChanOpen, FrontRight, FrontLeft, RearExit, kSensorRows };

struct SensorReading {
    uint16_t gain = 0;
    uint8_t target = 0, reading = 0, status = 0;
};

struct SensorStore {
    bool l8v = false;  // the variant flag: full layout, 5/3 optical channels, report title
    std::array<SensorReading, kSensorRows> full{};
    uint8_t temperatureAtVla = 0, currentTemperature = 0, barcodeEmitter1 = 0;
    // Short layout only.
    uint16_t sidelookGain = 0;
    uint8_t sidelookReading = 0, frontStatus = 0, rearStatus = 0, barcodeEmitter2 = 0;
};

template <class T>
using ChannelTable = std::array<std::array<T, 4>, 7>;  // [channel 0-6][colour: red, green, blue, infrared]

struct OpticsStore {
    ChannelTable<uint8_t> reflWhite{}, transWhite{}, reflBlack{}, transBlack{}, transEmitter{}, reflEmitter{};
    ChannelTable<uint16_t> transGain{}, reflGain{};
    int colour = 0;
    bool received = false;
};

struct VideoStore {
    // [channel][colour][sample]; sample 0 holds the mean after a reply.
    std::array<std::array<std::array<uint8_t, 5>, 4>, 7> refl{}, trans{};
    bool received = false;
    uint8_t reflLevel(int ch, int col) const { return refl[ch][col][0]; }
    uint8_t transLevel(int ch, int col) const { return trans[ch][col][0]; }
};

// Raw video samples the validator streams (code 0xEB), and the record that follows them.
struct VideoSampleStore {
    static constexpr size_t kMaxSamples = 172;
    size_t samples = 0;
    std::vector<std::array<uint8_t, 28>> refl, trans;  // per sample, per channel-colour pair
    std::vector<uint8_t> raw;
    bool secondPart = false;
};

struct CounterStore {
    std::array<uint32_t, kBillTypes> qrvCounts{};
    uint32_t lifeCount = 0;
    std::array<uint8_t, 5> lastFive{};
};

struct SetupSwitches {
    bool sides = false;        // 1 side
    bool ways = false;         // 1 way
    bool escrow = false;       // escrow on
    bool stacker = false;      // optional
    bool plate = false;        // cassette plate closed
    bool inhibit = false;      // inhibited
    bool orientation = false;  // reverse
    // The system mode switch is the controller's InterruptMode.
};

struct EscrowSettings {
    bool autoAccept = true;
    bool creditLimitOn = false;
    int32_t creditLimit = 9999;
    int32_t creditTotal = 0;
    bool defaultExpiration = true;
    bool billInEscrow = false;
    int32_t escrowValue = 0;
};

struct IdentityStore {
    std::array<char, 9> revision{};  // eight characters and a terminating zero
    uint16_t revisionNumber = 0;
    std::array<uint8_t, 2> systemId{};  // BCD, thousands and hundreds first
    std::array<uint8_t, 6> assetNumber{};
    std::array<uint8_t, 2> factoryNumber{};   // BCD
    std::array<uint8_t, 2> productionDate{};  // week, year: BCD
    int32_t burnCycles = 0;
    std::array<uint8_t, 4> serialNumber{};
    char unitType() const { return revision[4]; }
};

using RtcRecord = std::array<uint8_t, 8>;

struct CassetteDataStore {
    std::array<uint16_t, 16> billCounts{};  // index = bill type; 1-15 filled
    std::array<uint8_t, 20> faultCounts{};
    std::array<uint8_t, 8> idReply{};
    uint32_t stackedBills = 0, totalValue = 0;
    int faultPage = 0;
    std::array<uint8_t, 8> idToWrite{};  // identity (least significant first), check value (low first)
    uint8_t stackerSensor = 0;
};

struct CrcStore {
    uint16_t polynomial = 0x8005;
    uint16_t seed16 = 0;
    uint32_t seed32 = 0;
    uint16_t result16 = 0;
    uint32_t result32 = 0;
};

// Redraw flags of the Command-Status panes.
struct PaneFlags {
    bool commandDirty = true;
    bool statusDirty = true;
    bool firstPaint = true;
};

struct Stores {
    CommandHistory history;
    EventList events;
    StatusBytes status;
    BillStore bills;
    StatisticsStore statistics;
    SensorStore sensors;
    OpticsStore optics;
    VideoStore video;
    VideoSampleStore videoSamples;
    CounterStore counters;
    SetupSwitches setup;
    EscrowSettings escrow;
    IdentityStore identity;
    RtcRecord rtc{};
    CassetteDataStore cassette;
    CrcStore crc;
    PaneFlags panes;
    uint8_t acceptAllSeconds = 0;
    bool deferredStacked = false;
    int deferredStackedType = 0;
    bool vlaRunning = false;
};

}  // namespace halvek
