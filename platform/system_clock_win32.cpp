#include <ctime>

#include "platform/system_clock.h"
#include "platform/wide_text.h"
#include "platform/windows_api.h"

namespace dorvane {

LocalTime SystemClock::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_s(&tm, &now);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// The user's regional settings: short date, a blank, the time of day.
std::string SystemClock::FormatGeneralDate(const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    wchar_t date[128];
    wchar_t timeOfDay[128];
    if (::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128) == 0 ||
        ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, timeOfDay, 128) == 0) {
        return FormatIsoDateTime(time);
    }
    return Utf8FromWide(std::wstring(date) + L" " + timeOfDay);
}

}  // namespace dorvane
