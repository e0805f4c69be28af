#pragma once

namespace halvek {

class LinkController;

// "Request VLA": with the line open, the user is warned and, on OK, the
// validator is asked to adjust its video levels; the status decoding then sees
// the run end (a reset, or an inhibit when it failed). True when the command
// was asked for.
bool requestVla(LinkController& link);

}  // namespace halvek
