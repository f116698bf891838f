#include <clocale>
#include <ctime>
#include <string_view>

#include "platform/system_clock.h"

namespace dorvane {
namespace {

bool TimeLocaleIsPlain() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    if (name == nullptr) return true;
    const std::string_view n(name);
    return n == "C" || n == "POSIX" || n.rfind("C.", 0) == 0;
}

}  // namespace

LocalTime SystemClock::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string SystemClock::FormatGeneralDate(const LocalTime& time) {
    if (TimeLocaleIsPlain()) return FormatIsoDateTime(time);
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    tm.tm_isdst = -1;
    char buffer[128];
    // The locale's own short date: a two-digit year there is the user's choice.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &tm);
#pragma GCC diagnostic pop
    if (n == 0) return FormatIsoDateTime(time);
    return std::string(buffer, n);
}

}  // namespace dorvane
