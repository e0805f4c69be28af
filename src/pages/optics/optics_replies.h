#pragma once

#include "pages/optics/optics_store.h"
#include "protocol/reply.h"

namespace halvek {

// Data bytes of an optics reply ("read diagn.(1)"): more than a short frame holds.
constexpr size_t kOpticsReplyBytes = 392;

// Stores an optics reply; the variant flag decides how the transmissive gains
// read. A reply shorter than the layout (a short frame cannot hold it) is
// refused (false): the store and its received flag stay as they were.
bool storeOptics(OpticsStore& optics, bool l8v, const Reply& r);

}  // namespace halvek
