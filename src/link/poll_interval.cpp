#include "link/poll_interval.h"

#include <cstdlib>

namespace halvek {

std::optional<int> checkPollInterval(const std::string& text, std::string& complaint) {
    // Leading and trailing blanks are forgiven, as an edit field would.
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    const std::string t = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    bool integer = !t.empty() && t.size() <= 9;
    for (size_t i = 0; integer && i < t.size(); ++i)
        integer = (t[i] >= '0' && t[i] <= '9') || (i == 0 && t[i] == '-' && t.size() > 1);
    if (!integer) {
        complaint = "Please enter an integer.";
        return std::nullopt;
    }
    const long v = std::strtol(t.c_str(), nullptr, 10);
    if (v < kMinPollInterval || v > kMaxPollInterval) {
        complaint = "Please enter an integer between " + std::to_string(kMinPollInterval) + " and " +
                    std::to_string(kMaxPollInterval) + ".";
        return std::nullopt;
    }
    complaint.clear();
    return static_cast<int>(v);
}

}  // namespace halvek
