#pragma once

#include <optional>
#include <string>

namespace halvek {

constexpr int kMinPollInterval = 100;
constexpr int kMaxPollInterval = 3000;
constexpr int kDefaultPollInterval = 350;

// Checks what the user typed as a poll interval. On refusal, complaint holds
// the message to show and no value is returned.
std::optional<int> checkPollInterval(const std::string& text, std::string& complaint);

}  // namespace halvek
