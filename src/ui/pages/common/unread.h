#pragma once

#include <initializer_list>

#include "link/link_controller.h"

namespace halvek::ui {

// A page opened on a connected unit asks once for the data it shows that the
// unit has not yet been asked for, so that it shows the unit's data rather than
// zeros it never said. Code 0 is skipped (a read the mode does not offer).
inline void requestUnread(LinkController& link, std::initializer_list<uint8_t> codes) {
    if (!link.timerRunning()) return;
    for (uint8_t code : codes)
        if (code != 0 && link.repliesTaken(code) == 0 && link.requestState(code) == RequestState::Idle)
            link.request(code);
}

}  // namespace halvek::ui
