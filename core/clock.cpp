#include "core/clock.h"

#include <cstdio>

namespace dorvane {

std::string FormatIsoDateTime(const LocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

}  // namespace dorvane
