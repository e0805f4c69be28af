// What the replies that do more than store their data do.
#include "link/reply_handlers.h"

#include "link/link_controller.h"
#include "link/texts.h"
#include "pages/bills/bills_replies.h"
#include "pages/cassette/cassette_replies.h"
#include "pages/counters/counters_replies.h"
#include "pages/identity/identity_replies.h"
#include "pages/optics/optics_replies.h"
#include "pages/sensors/sensors_replies.h"
#include "pages/setup/setup_replies.h"
#include "pages/video/video_replies.h"
#include "protocol/status_bits.h"

namespace halvek::handlers {

void programRevision(LinkController& link, const Reply& r) {
    link.setDiagnosticsAvailable(diagnosticsAvailableFor(storeRevision(link.stores().identity, r)));
}

void setupByte(LinkController& link, const Reply& r) {
    const bool interrupt = storeSetup(link.stores().setup, r) & setupbit::kInterrupt;
    // The unit's mode decides whether the host polls: a change is said, so a
    // unit that went quiet by its own choice is not taken for a broken line.
    if (interrupt != link.interruptMode())
        link.tellLink(interrupt ? text::kUnitInInterruptMode : text::kUnitInPollingMode);
    link.setInterruptMode(interrupt);
    link.ui().setModeCaption(interrupt ? text::kControllerInterrupt : text::kControllerPolling);
}

void creditTable(LinkController& link, const Reply& r) { storeCreditTable(link.stores().bills, r); }
void unitOptions(LinkController& link, const Reply& r) { storeUnitOptions(link.stores().bills, r); }

void cassetteBills(LinkController& link, const Reply& r) {
    storeCassetteBills(link.stores().cassette, r);
    link.request(cmd::ReadCassFaultBuf);
}

// The same command reads the sensor data or the video test data, by the selector it was sent with.
void diagnostics0(LinkController& link, const Reply& r) {
    Stores& s = link.stores();
    if (link.sentDiagnosticsSelector() == kVideoSelector) {
        if (!storeVideo(s.video, s.sensors.l8v, r)) return link.replyUnusable();
        link.refresh({View::VideoTest, View::ViewData, View::QuickTest});
    } else {
        if (!storeSensors(s.sensors, r)) return link.replyUnusable();
        link.refresh({View::Sensors});
    }
}

void lifeCount(LinkController& link, const Reply& r) {
    if (!storeLifeCount(link.stores().counters, r)) {
        // A count that cannot be read settles nothing: the bills waiting on it
        // are treated as when the unit does not give its count.
        link.replyUnusable();
        link.settlement().countGivenUp();
        return;
    }
    // A bill the unit stacked whose report the line lost shows here.
    link.settlement().countRead(link.stores().counters.lifeCount);
}

void diagnostics1(LinkController& link, const Reply& r) {
    Stores& s = link.stores();
    if (!storeOptics(s.optics, s.sensors.l8v, r)) link.replyUnusable();
}

void videoSamples(LinkController& link, const Reply& r) {
    Stores& s = link.stores();
    // The second part is sent by the validator on its own; no command asks for it.
    storeVideoSamples(s.videoSamples, s.sensors.l8v, r);
}

}  // namespace halvek::handlers
