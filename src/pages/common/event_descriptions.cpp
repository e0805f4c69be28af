#include "pages/common/event_descriptions.h"

namespace halvek {
namespace {

// Written out with their padding so that each text reads exactly as printed.
constexpr EventDescriptionTable kStatistics = {
    "not used                     ",  //
    "did not pass optical test    ",  //
    "disabled bill entry          ",  //
    "did not pass security test   ",  //
    "tailgating detected          ",  //
    "did not pass correlation test",  //
    "did not pass magnetic test   ",  //
    "not used                     ",  //
    "stringing attempt            ",  //
    "max. credit storred          ",  //
    "not used                     ",  //
    "unable to reject bill        ",  //
    "not used                     ",  //
    "not used                     ",  //
    "bill stacking failed         ",  //
    "did not pass security test   ",  //
    "not used                     ",  //
    "bill returned by controller  ",  //
    "not used                     ",  //
    "not used                     ",  //
};

constexpr EventDescriptionTable withFirst(std::string_view first) {
    EventDescriptionTable t = kStatistics;
    t[0] = first;
    return t;
}

constexpr EventDescriptionTable kCassette = withFirst("return before evaluation     ");

constexpr bool allPadded(const EventDescriptionTable& t) {
    for (std::string_view s : t)
        if (s.size() != kEventDescriptionWidth) return false;
    return true;
}
static_assert(allPadded(kStatistics) && allPadded(kCassette));

}  // namespace

const EventDescriptionTable EventDescriptions = kStatistics;
const EventDescriptionTable CassetteEventDescriptions = kCassette;

}  // namespace halvek
