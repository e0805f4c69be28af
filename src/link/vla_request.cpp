#include "link/vla_request.h"

#include "link/link_controller.h"
#include "link/texts.h"
#include "pages/vla/vla_texts.h"
#include "protocol/catalogue.h"

namespace halvek {

bool requestVla(LinkController& link) {
    if (!(link.linkFlags() & linkflag::PortOpen)) {
        link.ui().showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    const Answer a = link.ui().showMessage({text::kWarning, vla::kInsertCoupon, Buttons::OkCancel, Icon::Warning});
    // The run is marked only once it is really asked for: a flag left by a
    // cancelled request would make a later inhibit look like a failed VLA. A
    // run asked for before goes on, and so does its flag.
    if (a != Answer::Ok) return false;
    link.setVlaRunning(true);
    link.request(cmd::RequestVla);
    return true;
}

}  // namespace halvek
