#include "platform/DateFormat.h"

namespace platform {

std::string DateTimeToStr(std::time_t moment) {
    std::tm local {};
    if (localtime_r(&moment, &local) == nullptr) return {};
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char text[128];
    const size_t n = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
    return std::string(text, n);
}

}  // namespace platform
