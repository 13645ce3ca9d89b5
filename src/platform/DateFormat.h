// Dates as the user's locale writes them.
#pragma once

#include <ctime>
#include <string>

namespace platform {

// A moment in local time, written in the locale's short date format followed
// by a blank and its long time format; the time is left out when it is
// exactly midnight. Empty when the moment cannot be converted.
std::string DateTimeToStr(std::time_t moment);

}  // namespace platform
