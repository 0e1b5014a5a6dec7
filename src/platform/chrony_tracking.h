#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace lingchao {

// How far the system clock is from true time as chrony estimates it (the "System time" of `chronyc -c tracking`),
// in milliseconds, positive when the clock is ahead. None when chrony is not installed, not running, not
// synchronised, or answers something else. Runs chronyc and waits for it: never on the bell's thread.
std::optional<double> ChronyOffsetMs(std::chrono::milliseconds timeout = std::chrono::seconds(2));

// The same from the text chronyc printed.
std::optional<double> ParseChronyTracking(const std::string& csv);

}  // namespace lingchao
