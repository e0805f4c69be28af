#include "pages/cassette/cassette_replies.h"

namespace halvek {

void storeStackerSensor(CassetteDataStore& c, const Reply& r) { c.stackerSensor = r.data(0); }
void storeCassetteFaults(CassetteDataStore& c, const Reply& r) { r.copyData(c.faultCounts); }

void storeCassetteBills(CassetteDataStore& c, const Reply& r) {
    for (size_t k = 0; k < 15; ++k) c.billCounts[k + 1] = r.data16(2 * k);
}

void storeCassetteId(CassetteDataStore& c, const Reply& r) { r.copyData(c.idReply); }

}  // namespace halvek
