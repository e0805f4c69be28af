#include "accessories/cassette_records.h"

#include "accessories/cassette_event_descriptions.h"

namespace halvek {

void clearCassetteCounts(CassetteDataStore& store) {
    store.billCounts = {};
    store.faultCounts = {};
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
