#include "accessories/cassette_event_descriptions.h"

namespace halvek {

const std::array<std::string_view, kCassetteEvents>& cassetteEventDescriptions() { return CassetteEventDescriptions; }

}  // namespace halvek
