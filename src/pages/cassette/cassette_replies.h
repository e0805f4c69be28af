#pragma once

#include "pages/cassette/cassette_store.h"
#include "protocol/reply.h"

namespace halvek {

void storeStackerSensor(CassetteDataStore& cassette, const Reply& r);
void storeCassetteFaults(CassetteDataStore& cassette, const Reply& r);
// Fifteen counts, each high byte first, for bill types 1-15.
void storeCassetteBills(CassetteDataStore& cassette, const Reply& r);
void storeCassetteId(CassetteDataStore& cassette, const Reply& r);

}  // namespace halvek
