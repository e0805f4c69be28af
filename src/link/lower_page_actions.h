#pragma once

namespace halvek {

class LinkController;

// What the buttons of the Statistics and Main optics pages do, apart from the
// window so that the console tool and the tests do the same.

// "Read Stats": asks for the statistics (sent once the link runs).
void readStatistics(LinkController& link);
// "Clear Stats": refused with "No connection" while the link is not running
// (the unit would keep its counts and the next read bring them back);
// otherwise asks, then has the unit clear its statistics and clears the store.
// True when they were cleared.
bool clearStatistics(LinkController& link);

// "Read Data" of the Main optics page: the data fit only long frames. True when asked for.
bool readOptics(LinkController& link);
// A colour selector of the Main optics page.
void selectOpticsColour(LinkController& link, int colour);

namespace page_text {
inline constexpr const char* kEraseQuestion = "STATISTCS DATA WILL BE ERASED PERMANENTLY. CONTINUE ?";
inline constexpr const char* kErased = "Erased";
inline constexpr const char* kEraseCancelled = "Erase Cancelled";
inline constexpr const char* kOnlyExtended = "Available only in Q7E mode";
}  // namespace page_text

}  // namespace halvek
