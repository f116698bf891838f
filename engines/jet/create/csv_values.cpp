#include "core/ascii.h"
#include "engines/jet/create/csv_values.h"

#include <charconv>
#include <cmath>

#include "core/error.h"
#include "engines/jet/create/field_values.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {

constexpr std::int64_t kCurrencyScale = 10000;
constexpr std::int64_t kCurrencyLimit = 922337203685477;  // whole units a Currency holds

std::optional<bool> ParseYesNo(std::string_view text) {
    const std::string word = AsciiLower(text);
    if (word == "true" || word == "yes") return true;
    if (word == "false" || word == "no") return false;
    return std::nullopt;
}

std::optional<std::int32_t> ParseLong(std::string_view text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || text.empty()) return std::nullopt;
    return value;
}

// Ten-thousandths of an amount with up to two decimals; `decimals` says how many it had.
std::optional<std::int64_t> ParseAmount(std::string_view text, int& decimals) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    decimals = static_cast<int>(fraction.size());
    if (whole.empty() || whole.size() > 15 ||
        (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 2)))
        return std::nullopt;
    std::int64_t units = 0, cents = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return std::nullopt;
        units = units * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') return std::nullopt;
        cents = cents * 10 + (c - '0');
    }
    if (units > kCurrencyLimit) return std::nullopt;
    const std::int64_t value = units * kCurrencyScale + cents * 100;
    return negative ? -value : value;
}

std::optional<double> ParseDouble(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || text.empty() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// YYYY-MM-DD, optionally followed by a space or T and hh:mm or hh:mm:ss; as an OLE date.
std::optional<double> ParseDateTime(std::string_view text) {
    const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<unsigned> {
        if (at + digits > text.size()) return std::nullopt;
        unsigned value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
        }
        return value;
    };
    const auto y = number(0, 4), m = number(5, 2), d = number(8, 2);
    if (!y || !m || !d || text[4] != '-' || text[7] != '-' || *y < 100 || *m < 1 || *m > 12 || *d < 1)
        return std::nullopt;
    static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
    if (*d > kDays[*m - 1] || (*m == 2 && *d == 29 && !leap)) return std::nullopt;
    unsigned hh = 0, mm = 0, ss = 0;
    if (text.size() > 10) {
        const auto h = number(11, 2), mi = number(14, 2);
        const bool seconds = text.size() == 19;
        const auto s = seconds ? number(17, 2) : std::optional<unsigned>(0);
        if ((text[10] != ' ' && text[10] != 'T') || !h || !mi || !s || text[13] != ':' ||
            (seconds && text[16] != ':') || (text.size() != 16 && !seconds) || *h > 23 || *mi > 59 || *s > 59) {
            return std::nullopt;
        }
        hh = *h, mm = *mi, ss = *s;
    } else if (text.size() != 10) {
        return std::nullopt;
    }
    const auto days = static_cast<double>(DaysFromCivil(*y, *m, *d) - DaysFromCivil(1899, 12, 30));
    const double time = (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
    // Before 1899-12-30 the day counts down but the time of day still counts up.
    return days < 0 ? days - time : days + time;
}

std::optional<Bytes> ParseHex(std::string_view text) {
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0) return std::nullopt;
    Bytes out(text.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = nibble(text[2 * i]), low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return out;
}

[[noreturn]] void NotA(const std::string& what, const CsvField& field) {
    throw Error(errc::kValueRefused, "\"" + field.text + "\" is not " + what);
}

}  // namespace

std::optional<ImportType> ImportTypeNamed(std::string_view name) {
    const std::string word = AsciiLower(name);
    if (word == "long") return ImportType::kLong;
    if (word == "double") return ImportType::kDouble;
    if (word == "currency") return ImportType::kCurrency;
    if (word == "datetime" || word == "date") return ImportType::kDateTime;
    if (word == "yesno" || word == "boolean") return ImportType::kYesNo;
    if (word == "text") return ImportType::kText;
    if (word == "memo") return ImportType::kMemo;
    if (word == "ole") return ImportType::kOle;
    return std::nullopt;
}

std::string ImportTypeName(ImportType type) {
    static constexpr const char* kNames[] = {"YesNo", "Long", "Currency", "Double", "DateTime", "Text", "Memo", "OLE"};
    return kNames[static_cast<int>(type)];
}

ImportType ChooseType(const std::vector<const CsvField*>& values) {
    bool any = false, yesNo = true, whole = true, amount = true, twoDecimals = false, real = true, date = true;
    std::size_t longest = 0;
    for (const CsvField* field : values) {
        longest = std::max(longest, Ucs2Length(field->text));
        if (field->text.empty()) continue;
        any = true;
        const std::string_view text = field->text;
        yesNo = yesNo && ParseYesNo(text).has_value();
        whole = whole && ParseLong(text).has_value();
        int decimals = 0;
        amount = amount && ParseAmount(text, decimals).has_value();
        twoDecimals = twoDecimals || decimals == 2;
        real = real && ParseDouble(text).has_value();
        date = date && ParseDateTime(text).has_value();
    }
    if (!any) return ImportType::kText;
    if (yesNo) return ImportType::kYesNo;
    if (whole) return ImportType::kLong;
    if (amount && twoDecimals) return ImportType::kCurrency;
    if (real) return ImportType::kDouble;
    if (date) return ImportType::kDateTime;
    return longest <= kTextCharacters ? ImportType::kText : ImportType::kMemo;
}

NewColumn ColumnFor(const std::string& name, ImportType type) {
    switch (type) {
        case ImportType::kYesNo:
            return {name, coltype::kBoolean, 0, {}, {}};
        case ImportType::kLong:
            return {name, coltype::kLong, 0, {}, {}};
        case ImportType::kCurrency:
            return {name, coltype::kCurrency, 0, {}, {}};
        case ImportType::kDouble:
            return {name, coltype::kDouble, 0, {}, {}};
        case ImportType::kDateTime:
            return {name, coltype::kDateTime, 0, {}, {}};
        case ImportType::kText:
            return {name, coltype::kText, static_cast<std::uint16_t>(2 * kTextCharacters), {}, {}};
        case ImportType::kOle:
            return {name, coltype::kOle, 0, {}, {}};
        case ImportType::kMemo:
            break;
    }
    return {name, coltype::kMemo, 0, {}, {}};
}

StoredValue ConvertField(const Column& column, ImportType type, const CsvField& field) {
    const bool textual = type == ImportType::kText || type == ImportType::kMemo;
    if (field.text.empty() && !(textual && field.quoted))
        return type == ImportType::kYesNo ? BooleanValue(false) : NullValue();
    switch (type) {
        case ImportType::kYesNo: {
            const auto v = ParseYesNo(field.text);
            if (!v) NotA("Yes/No (true, false, yes or no)", field);
            return BooleanValue(*v);
        }
        case ImportType::kLong: {
            const auto v = ParseLong(field.text);
            if (!v) NotA("a Long (a whole number from -2147483648 to 2147483647)", field);
            return LongValue(*v);
        }
        case ImportType::kCurrency: {
            int decimals = 0;
            const auto v = ParseAmount(field.text, decimals);
            if (!v) NotA("a Currency amount (at most two decimals)", field);
            return CurrencyValue(*v);
        }
        case ImportType::kDouble: {
            const auto v = ParseDouble(field.text);
            if (!v) NotA("a Double", field);
            return DoubleValue(*v);
        }
        case ImportType::kDateTime: {
            const auto v = ParseDateTime(field.text);
            if (!v) NotA("a date (YYYY-MM-DD, optionally with hh:mm:ss)", field);
            return DateTimeValue(*v);
        }
        case ImportType::kText:
            return TextValue(column, field.text);
        case ImportType::kOle: {
            auto v = ParseHex(field.text);
            if (!v) NotA("hexadecimal bytes", field);
            return {true, false, std::move(*v)};
        }
        case ImportType::kMemo:
            break;
    }
    return {true, false, Utf8ToJet4Text(field.text, (column.ext_flags & kColumnCompressed) != 0)};
}

}  // namespace dorvane::jet::create
