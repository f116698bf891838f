#pragma once
// The local date and time, read once per use; injectable for tests.

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
};

class SystemClock final : public Clock {
public:
    LocalTime Now() override;
    std::string FormatGeneralDate(const LocalTime& time) override;
};

std::string FormatIsoDateTime(const LocalTime& time);

}  // namespace dorvane
