#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "link/stores.h"

namespace halvek {

// The two views the cassette data window paints from the cassette's records
// (read from the replies by pages/cassette/cassette_replies).

constexpr int kCassetteBillTypes = 16;  // rows shown; type 16 (the coupon) is never counted
constexpr int kCassetteCountedTypes = 15;
constexpr int kFaultRowsPerPage = 9;

// The counts go back to 0; the ID read last stays.
void clearCassetteCounts(CassetteDataStore& store);

struct CassetteBillRow {
    int type = 0;
    int32_t denomination = 0;  // the bill type's value in whole currency units
    uint16_t count = 0;
};

struct CassetteBillView {
    std::array<CassetteBillRow, kCassetteBillTypes> rows{};
    // Over bill types 1 to 15. Counts up to 65535 of values up to 2^31 do not
    // fit 32 bits, so the sums are kept in 64.
    uint64_t stackedBills = 0;
    int64_t totalValue = 0;
};
CassetteBillView makeCassetteBillView(const CassetteDataStore& store, const BillStore& bills);

struct CassetteFaultRow {
    int event = 0;
    uint8_t count = 0;
    std::string_view description;
};
// Page 0 shows events 1 to 9, page 1 events 10 to 18.
std::array<CassetteFaultRow, kFaultRowsPerPage> makeCassetteFaultView(const CassetteDataStore& store, int page);

}  // namespace halvek
