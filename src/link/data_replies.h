#pragma once

#include "link/reply.h"
#include "link/stores.h"

namespace halvek {

// How each data reply is stored. Pure functions of the reply and the store,
// so that each layout is checked without a line or a controller.

void storeBillEnable(BillStore& bills, const Reply& r);
void storeSecurity(BillStore& bills, const Reply& r);
// Bill table replies: the long layout (credit table) and the short one (unit options).
void storeCreditTable(BillStore& bills, const Reply& r);
void storeUnitOptions(BillStore& bills, const Reply& r);

void storeStatistics(StatisticsStore& stats, const Reply& r);
void storeSensors(SensorStore& sensors, const Reply& r);
void storeOptics(OpticsStore& optics, bool l8v, const Reply& r);
void storeVideo(VideoStore& video, bool l8v, const Reply& r);
// Streamed video samples: returns true when the record that follows them is expected next.
bool storeVideoSamples(VideoSampleStore& store, bool fullSensorLayout, const Reply& r);

void storeQrvCounts(CounterStore& counters, const Reply& r);
void storeLifeCount(CounterStore& counters, const Reply& r);
void storeLastFive(CounterStore& counters, const Reply& r);

// Returns the revision number (characters 6-8) and stores the text.
uint16_t storeRevision(IdentityStore& identity, const Reply& r);
// Firmware revisions 101 to 199 cannot deliver the diagnostics reads.
bool diagnosticsAvailableFor(uint16_t revisionNumber);

}  // namespace halvek
