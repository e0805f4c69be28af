#pragma once

#include <array>
#include <cstdint>

#include "pages/bills/bills_store.h"
#include "pages/cassette/cassette_store.h"
#include "pages/counters/counters_store.h"
#include "pages/crc/crc_store.h"
#include "pages/escrow/escrow_store.h"
#include "pages/identity/identity_store.h"
#include "pages/optics/optics_store.h"
#include "pages/rtc/rtc_store.h"
#include "pages/sensors/sensors_store.h"
#include "pages/setup/setup_store.h"
#include "pages/statistics/statistics_store.h"
#include "pages/video/video_store.h"
#include "protocol/command_history.h"

namespace halvek {

// The validator's data as the host last read it: the pages' plain records,
// owned by one Stores object that lives as long as the program. Pages come and
// go, the data stay.

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
};

}  // namespace halvek
