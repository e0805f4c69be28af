#include "link/lower_page_actions.h"

#include "link/link_controller.h"
#include "link/texts.h"
#include "pages/optics/optics_view.h"
#include "protocol/catalogue.h"

namespace halvek {

void readStatistics(LinkController& link) { link.requestStats(); }

bool clearStatistics(LinkController& link) {
    UserInterface& ui = link.ui();
    if (!link.timerRunning()) {
        ui.showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    if (ui.showMessage({text::kWarning, page_text::kEraseQuestion, Buttons::YesNo, Icon::Warning}) != Answer::Yes) {
        ui.showMessage({text::kInfo, page_text::kEraseCancelled});
        return false;
    }
    link.request(cmd::ClearStats);
    StatisticsStore& stats = link.stores().statistics;
    const bool received = stats.received;
    stats.clear();
    stats.received = received;  // the store still holds what the unit holds: nothing
    link.refresh({View::Statistics});
    ui.showMessage({text::kInfo, page_text::kErased});
    return true;
}

bool readOptics(LinkController& link) {
    if (!link.timerRunning()) {
        link.ui().showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    if (!link.extendedMode()) {
        link.ui().showMessage({text::kInfo, page_text::kOnlyExtended});
        return false;
    }
    link.request(cmd::ReadDiagn1);
    return true;
}

void selectOpticsColour(LinkController& link, int colour) {
    if (colour < 0 || colour >= kOpticsColours) return;
    link.stores().optics.colour = colour;
    link.refresh({View::MainOptics});
}

}  // namespace halvek
