#include "capture/capture_texts.h"

namespace halvek::capture {

Message openFailedMessage(const std::string& path, const std::string& reason) {
    return Message("Info", "The capture file cannot be opened: " + path, Buttons::Ok, Icon::Warning,
                   path + ": " + reason);
}

Message writeFailedMessage(const std::string& path, const std::string& reason) {
    return Message("Info", "Writing the capture file failed; the capture is closed: " + path, Buttons::Ok,
                   Icon::Warning, path + ": " + reason);
}

}  // namespace halvek::capture
