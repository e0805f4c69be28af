#include "accessories/cassette_event_descriptions.h"

namespace halvek {

const std::array<std::string_view, kCassetteEvents>& cassetteEventDescriptions() {
    // Padded by hand so that the table is data and not built at run time.
    static constexpr std::array<std::string_view, kCassetteEvents> kTable = {
        "return before evaluation     ",  // 1
        "did not pass optical test    ",  // 2
        "disabled bill entry          ",  // 3
        "did not pass security test   ",  // 4
        "tailgating detected          ",  // 5
        "did not pass correlation test",  // 6
        "did not pass magnetic test   ",  // 7
        "not used                     ",  // 8
        "stringing attempt            ",  // 9
        "max. credit storred          ",  // 10
        "not used                     ",  // 11
        "unable to reject bill        ",  // 12
        "not used                     ",  // 13
        "not used                     ",  // 14
        "bill stacking failed         ",  // 15
        "did not pass security test   ",  // 16
        "not used                     ",  // 17
        "bill returned by controller  ",  // 18
        "not used                     ",  // 19
        "not used                     ",  // 20
    };
    return kTable;
}

}  // namespace halvek
