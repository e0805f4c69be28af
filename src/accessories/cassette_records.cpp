#include "accessories/cassette_records.h"

#include "accessories/cassette_event_descriptions.h"

namespace halvek {
namespace {

uint8_t at(std::span<const uint8_t> data, size_t i) { return i < data.size() ? data[i] : 0; }

}  // namespace

void storeCassetteBills(CassetteDataStore& store, std::span<const uint8_t> data) {
    for (size_t k = 0; k < kCassetteCountedTypes; ++k)
        store.billCounts[k + 1] = static_cast<uint16_t>(at(data, 2 * k) << 8 | at(data, 2 * k + 1));
}

void storeCassetteFaults(CassetteDataStore& store, std::span<const uint8_t> data) {
    for (size_t k = 0; k < store.faultCounts.size(); ++k) store.faultCounts[k] = at(data, k);
}

void storeCassetteIdReply(CassetteDataStore& store, std::span<const uint8_t> data) {
    for (size_t k = 0; k < store.idReply.size(); ++k) store.idReply[k] = at(data, k);
}

void clearCassetteCounts(CassetteDataStore& store) {
    store.billCounts = {};
    store.faultCounts = {};
    store.stackedBills = 0;
    store.totalValue = 0;
}

CassetteBillView makeCassetteBillView(const CassetteDataStore& store, const BillStore& bills) {
    CassetteBillView view;
    for (int type = 1; type <= kCassetteBillTypes; ++type) {
        CassetteBillRow& row = view.rows[static_cast<size_t>(type - 1)];
        row.type = type;
        row.denomination = bills.value(type);
        // The cassette keeps no count for the coupon.
        row.count = type <= kCassetteCountedTypes ? store.billCounts[static_cast<size_t>(type)] : 0;
        if (type <= kCassetteCountedTypes) {
            view.stackedBills += row.count;
            view.totalValue += static_cast<int64_t>(row.count) * row.denomination;
        }
    }
    return view;
}

std::array<CassetteFaultRow, kFaultRowsPerPage> makeCassetteFaultView(const CassetteDataStore& store, int page) {
    std::array<CassetteFaultRow, kFaultRowsPerPage> rows{};
    const int first = page == 0 ? 1 : 1 + kFaultRowsPerPage;
    for (int i = 0; i < kFaultRowsPerPage; ++i) {
        const int event = first + i;
        rows[static_cast<size_t>(i)] = {event, store.faultCounts[static_cast<size_t>(event - 1)],
                                        cassetteEventDescriptions()[static_cast<size_t>(event - 1)]};
    }
    return rows;
}

}  // namespace halvek
