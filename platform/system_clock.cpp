// The machine's clock and the user's date format.

#include <clocale>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/clock.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace dorvane {
namespace {

#ifndef _WIN32
std::tm ToTm(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return tm;
}

bool TimeLocaleIsPlain() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    if (name == nullptr) return true;
    const std::string_view n(name);
    return n == "C" || n == "POSIX" || n.rfind("C.", 0) == 0;
}
#endif

}  // namespace

LocalTime SystemClock::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}


#ifdef _WIN32
// The user's regional settings: short date, a blank, the time of day.
std::string SystemClock::FormatGeneralDate(const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    char date[128];
    char timeOfDay[128];
    if (::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) == 0 ||
        ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, timeOfDay, sizeof timeOfDay) == 0) {
        return FormatIsoDateTime(time);
    }
    return std::string(date) + " " + timeOfDay;
}
#else
std::string SystemClock::FormatGeneralDate(const LocalTime& time) {
    if (TimeLocaleIsPlain()) return FormatIsoDateTime(time);
    const std::tm tm = ToTm(time);
    char buffer[128];
    // The locale's own short date: a two-digit year there is the user's choice.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
#endif
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &tm);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (n == 0) return FormatIsoDateTime(time);
    return std::string(buffer, n);
}
#endif

}  // namespace dorvane
