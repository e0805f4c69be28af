#pragma once

#include "pages/bills/bills_store.h"
#include "protocol/reply.h"

namespace halvek {

// How the replies of this page's data are stored: pure functions of the reply
// and the store, so that each layout is checked without a line or a controller.
// The bill enables and security levels (one bit per type), and the bill table in
// its long layout (credit table) and its short one (unit options).
void storeBillEnable(BillStore& bills, const Reply& r);
void storeSecurity(BillStore& bills, const Reply& r);
void storeCreditTable(BillStore& bills, const Reply& r);
void storeUnitOptions(BillStore& bills, const Reply& r);

}  // namespace halvek
