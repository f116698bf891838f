#pragma once
// The local date and time, read once per use; injectable for tests. The
// machine's own clock is platform/system_clock.h.

#include <chrono>
#include <cstdio>
#include <string>

namespace dorvane {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
    // The general date format of the user's locale: short date, a blank, the
    // time of day. Under the C/POSIX locale "2026-12-06 03:47:52".
    virtual std::string FormatGeneralDate(const LocalTime& time) = 0;
    // For durations: never goes back when the date or time is set.
    virtual std::chrono::steady_clock::time_point Steady() { return std::chrono::steady_clock::now(); }
};

inline std::string FormatIsoDateTime(const LocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buffer;
}

}  // namespace dorvane
