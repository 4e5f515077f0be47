// The time of day in UTC as the trace and the names of stored images show
// it.
#pragma once

#include <chrono>
#include <string>

namespace pyrrow::sim {

// "2025-01-07T10:15:30.123Z"; for a file name "20250107T101530.123Z".
std::string UtcText(std::chrono::system_clock::time_point when);
std::string UtcFileText(std::chrono::system_clock::time_point when);

}  // namespace pyrrow::sim
