#include "cli/read_targets.h"
#include "pages/bills/bill_row.h"

namespace halvek::cli {

void printBills(const LinkController& link, std::ostream& out, bool json) {
    const BillStore& bills = link.stores().bills;
    if (json) out << "{\"bills\":[";
    bool first = true;
    for (int row = 0; row < kBillTypes; ++row) {
        const auto r = billRow(bills, row, link.extendedMode());
        if (!r) continue;
        if (json) {
            out << (first ? "" : ",") << "{\"type\":" << row + 1 << ",\"currency\":" << jsonString(r->currency)
                << ",\"value\":" << bills.value(row + 1) << ",\"enabled\":" << (r->checked ? "true" : "false")
                << ",\"security\":" << jsonString(r->security) << "}";
        } else {
            out << r->type << " " << escapeForTerminal(r->currency) << " " << r->state << " " << r->security << "\n";
        }
        first = false;
    }
    if (json) out << "]}\n";
}

}  // namespace halvek::cli
