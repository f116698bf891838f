#include "engines/jet/format/value.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

template <typename T>
void AppendShortest(T value, std::string& out) {
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value < 0 ? "-Infinity" : "Infinity";
    } else {
        std::array<char, 64> buffer;
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
        out.append(buffer.data(), result.ptr);
    }
}

template <typename T>
std::string ShortestText(T value) {
    std::string out;
    AppendShortest(value, out);
    return out;
}

// Integers in decimal, as std::to_string writes them.
template <typename T>
void AppendInteger(T value, std::string& out) {
    std::array<char, 24> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

double DoubleFrom(ByteSpan bytes) {
    const std::uint64_t raw = Le64(bytes, 0);
    double value = 0;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

float SingleFrom(ByteSpan bytes) {
    const std::uint32_t raw = Le32(bytes, 0);
    float value = 0;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// Days since 0001-01-01 (proleptic Gregorian) to a civil date.
void CivilFromDays(std::int64_t z, int& year, unsigned& month, unsigned& day) {
    // Shift so day 0 is 0000-03-01 (Howard Hinnant's algorithm).
    z += 719468 - 719162;  // from 0001-01-01 to 1970-01-01 is 719162 days
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

// `value` in decimal at `at`, zeros in front up to `width` digits; returns
// where it ends. The caller makes room (ten digits at most, or `width`).
char* PutPadded(char* at, unsigned value, int width) {
    std::array<char, 10> digits;  // the last first
    int count = 0;
    do {
        digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) *at++ = '0';
    while (count > 0) *at++ = digits[static_cast<std::size_t>(--count)];
    return at;
}

// "YYYY-MM-DD HH:MM:SS" for a day (CivilFromDays) and the seconds into it;
// the caller makes room for 20 characters (a time rounded up to the next day
// may reach the year 10000).
char* PutDateTime(char* at, std::int64_t days_from_0001, unsigned seconds) {
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days_from_0001, year, month, day);
    at = PutPadded(at, static_cast<unsigned>(year), 4);
    *at++ = '-';
    at = PutPadded(at, month, 2);
    *at++ = '-';
    at = PutPadded(at, day, 2);
    *at++ = ' ';
    at = PutPadded(at, seconds / 3600, 2);
    *at++ = ':';
    at = PutPadded(at, seconds / 60 % 60, 2);
    *at++ = ':';
    return PutPadded(at, seconds % 60, 2);
}

}  // namespace

bool IsBinaryType(std::uint8_t type) {
    return type == coltype::kBinary || type == coltype::kOle || type == coltype::kFixedBinary;
}

std::string DateTimeToText(double days) {
    std::string out;
    AppendDateTimeText(days, out);
    return out;
}

void AppendDateTimeText(double days, std::string& out) {
    // Beyond years 1..9999 the value is not a date the products could have
    // written; show the number rather than invent a calendar.
    if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0) {
        AppendShortest(days, out);
        return;
    }
    // The integer part counts days from 1899-12-30; the fraction is the time
    // of day, positive even when the day is negative.
    auto whole = static_cast<std::int64_t>(days);
    auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(days - static_cast<double>(whole)) * 86400.0));
    if (seconds >= 86400) {
        seconds -= 86400;
        ++whole;
    }
    constexpr std::int64_t kDaysTo18991230 = 693593;  // 0001-01-01 to 1899-12-30
    std::array<char, 20> text;
    out.append(text.data(), PutDateTime(text.data(), whole + kDaysTo18991230, static_cast<unsigned>(seconds)));
}

std::string ExtendedDateToText(ByteSpan bytes) {
    // "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P" then NUL: days since
    // 0001-01-01, the time of day in 100 ns ticks, the digits of precision.
    const auto number = [&](std::size_t at) {
        std::uint64_t value = 0;
        for (std::size_t i = at; i < at + 19; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9') ThrowCorrupt("an extended date value is not in its form");
            value = value * 10 + (bytes[i] - '0');
        }
        return value;
    };
    if (bytes.size() < 41 || bytes[19] != ':' || bytes[39] != ':') {
        ThrowCorrupt("an extended date value is not in its form");
    }
    const std::uint64_t days = number(0);
    const std::uint64_t ticks = number(20);
    constexpr std::uint64_t kTicksPerDay = 864'000'000'000;
    if (days > 3'652'058 || ticks >= kTicksPerDay) ThrowCorrupt("an extended date value is out of range");
    std::array<char, 28> text;  // and ".fffffff"
    char* at = PutDateTime(text.data(), static_cast<std::int64_t>(days), static_cast<unsigned>(ticks / 10'000'000));
    *at++ = '.';
    return std::string(text.data(), PutPadded(at, static_cast<unsigned>(ticks % 10'000'000), 7));
}

std::string CurrencyToText(std::int64_t value) {
    std::string out;
    AppendCurrencyText(value, out);
    return out;
}

void AppendCurrencyText(std::int64_t value, std::string& out) {
    const bool negative = value < 0;
    // Through unsigned so the smallest value does not overflow.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::array<char, 32> text;  // sign, twenty digits, point, four decimals
    char* at = text.data();
    if (negative) *at++ = '-';
    at = std::to_chars(at, text.data() + text.size(), magnitude / 10000).ptr;
    if (const auto fraction = static_cast<unsigned>(magnitude % 10000); fraction != 0) {
        *at++ = '.';
        char* const digits = at;
        at = PutPadded(at, fraction, 4);
        while (at > digits && at[-1] == '0') --at;  // the decimals that count
    }
    out.append(text.data(), at);
}

std::string DecimalToText(ByteSpan bytes, unsigned scale) {
    if (bytes.size() < 17) ThrowCorrupt("a decimal value is shorter than 17 bytes");
    // Byte 0: sign; then four little-endian dwords, most significant first.
    std::array<std::uint32_t, 4> words{};
    for (std::size_t i = 0; i < 4; ++i) words[i] = Le32(bytes, 1 + 4 * i);
    std::string digits;
    while (words[0] | words[1] | words[2] | words[3]) {
        std::uint64_t remainder = 0;
        for (std::uint32_t& w : words) {
            const std::uint64_t current = (remainder << 32) | w;
            w = static_cast<std::uint32_t>(current / 10);
            remainder = current % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    }
    if (scale > 38) scale = 38;
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    if (scale > 0) {
        digits.insert(digits.end() - static_cast<std::ptrdiff_t>(scale), '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    const bool negative = (bytes[0] & 0x80) != 0 && digits != "0";
    return negative ? "-" + digits : digits;
}

std::string DecimalStructToText(ByteSpan b) {
    // A 16-byte DECIMAL: reserved u16, scale, sign, then the 96-bit magnitude
    // as high u32 and low u64.
    if (b.size() < 16) ThrowCorrupt("a calculated decimal is shorter than 16 bytes");
    Bytes legacy(17, 0);
    legacy[0] = b[3];
    PutLe32(legacy, 5, Le32(b, 4));
    PutLe32(legacy, 9, Le32(b, 12));
    PutLe32(legacy, 13, Le32(b, 8));
    return DecimalToText(legacy, b[2]);
}

ByteSpan CalculatedData(ByteSpan wrapped) {
    constexpr std::size_t kLengthAt = 16, kDataAt = 20;
    if (wrapped.size() < kDataAt) ThrowCorrupt("a calculated value is shorter than its header");
    const std::uint32_t length = Le32(wrapped, kLengthAt);
    if (length > wrapped.size() - kDataAt) ThrowCorrupt("a calculated value is longer than its field");
    return wrapped.subspan(kDataAt, length);
}

std::string GuidToText(ByteSpan b) {
    if (b.size() < 16) ThrowCorrupt("a GUID value is shorter than 16 bytes");
    static constexpr std::array<int, 16> kOrder{3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += "-";
        out += HexUpper(b.subspan(static_cast<std::size_t>(kOrder[i]), 1));
    }
    return out + "}";
}

namespace {

void AppendTextAsUtf8(const PageFile& file, ByteSpan bytes, std::string& out) {
    const std::size_t start = out.size();
    if (file.version() == Version::kJet3)
        AppendCodePageAsUtf8(bytes, file.code_page(), out);
    else
        AppendJet4TextAsUtf8(bytes, out);
    // Some writers store a terminating NUL (query text, name maps); it is not
    // part of the value.
    while (out.size() > start && out.back() == '\0') out.pop_back();
}

}  // namespace

std::string TextToUtf8(const PageFile& file, ByteSpan bytes) {
    std::string text;
    AppendTextAsUtf8(file, bytes, text);
    return text;
}

namespace {

// A calculated value is stored as its expression's result, whose type may
// differ from the column's (a Double column can hold a Currency or decimal
// result): the column's ResultType property says which, when it was read.
std::string CalculatedToText(const PageFile& file, const Column& column, ByteSpan data) {
    const std::uint8_t type = column.result_type != 0 ? column.result_type : column.type;
    if (type == coltype::kText || type == coltype::kMemo) return TextToUtf8(file, data);
    if (data.empty()) return "";
    if (type == coltype::kByte && data.size() == 1) return std::to_string(data[0]);
    if (type == coltype::kBoolean || data.size() == 1) return data[0] != 0 ? "1" : "0";
    if (data.size() == 16 && type != coltype::kGuid) return DecimalStructToText(data);
    if (data.size() == FixedValueSize(type)) {
        switch (type) {
            case coltype::kInteger:
                return std::to_string(static_cast<std::int16_t>(Le16(data, 0)));
            case coltype::kLong:
                return std::to_string(static_cast<std::int32_t>(Le32(data, 0)));
            case coltype::kSingle:
                return ShortestText(SingleFrom(data));
            case coltype::kCurrency:
                return CurrencyToText(static_cast<std::int64_t>(Le64(data, 0)));
            case coltype::kDateTime:
                return DateTimeToText(DoubleFrom(data));
            case coltype::kBigInt:
                return std::to_string(static_cast<std::int64_t>(Le64(data, 0)));
            case coltype::kGuid:
                return GuidToText(data);
            default:
                break;
        }
    }
    switch (data.size()) {
        case 2:
            return std::to_string(static_cast<std::int16_t>(Le16(data, 0)));
        case 4:
            return ShortestText(SingleFrom(data));
        case 8:
            return ShortestText(DoubleFrom(data));
        default:
            return HexUpper(data);
    }
}

}  // namespace

std::optional<std::string> FieldToText(const PageFile& file, const Column& column, ByteSpan row,
                                       const FieldSpan& field) {
    std::string text;
    if (!AppendFieldText(file, column, row, field, text)) return std::nullopt;
    return text;
}

bool AppendFieldText(const PageFile& file, const Column& column, ByteSpan row, const FieldSpan& field,
                     std::string& out) {
    if (column.IsBoolean()) {
        out += field.bool_value ? '1' : '0';
        return true;
    }
    if (!field.present) return false;
    const ByteSpan bytes = FieldBytes(row, field);
    if (column.IsCalculated()) {
        const Bytes wrapped = column.IsLongValue() ? ReadLongValue(file, bytes) : Bytes(bytes.begin(), bytes.end());
        const ByteSpan data = CalculatedData(wrapped);
        const std::uint8_t type = column.result_type != 0 ? column.result_type : column.type;
        // An expression over Null stores nothing.
        if (data.empty() && type != coltype::kText && type != coltype::kMemo) return false;
        out += CalculatedToText(file, column, data);
        return true;
    }
    const auto need = [&](std::size_t size) {
        if (bytes.size() < size) ThrowCorrupt("column '" + column.name + "' holds fewer bytes than its type needs");
    };
    switch (column.type) {
        case coltype::kByte:
            need(1);
            AppendInteger(static_cast<unsigned>(bytes[0]), out);
            break;
        case coltype::kInteger:
            need(2);
            AppendInteger(static_cast<std::int16_t>(Le16(bytes, 0)), out);
            break;
        case coltype::kLong:
            need(4);
            AppendInteger(static_cast<std::int32_t>(Le32(bytes, 0)), out);
            break;
        case coltype::kCurrency:
            need(8);
            AppendCurrencyText(static_cast<std::int64_t>(Le64(bytes, 0)), out);
            break;
        case coltype::kSingle:
            need(4);
            AppendShortest(SingleFrom(bytes), out);
            break;
        case coltype::kDouble:
            need(8);
            AppendShortest(DoubleFrom(bytes), out);
            break;
        case coltype::kDateTime:
            need(8);
            AppendDateTimeText(DoubleFrom(bytes), out);
            break;
        case coltype::kGuid:
            need(16);
            out += GuidToText(bytes);
            break;
        case coltype::kDecimal:
            need(17);
            out += DecimalToText(bytes, column.scale);
            break;
        case coltype::kComplex:
            need(4);
            AppendInteger(Le32(bytes, 0), out);
            break;
        case coltype::kBigInt:
            need(8);
            AppendInteger(static_cast<std::int64_t>(Le64(bytes, 0)), out);
            break;
        case coltype::kExtendedDate:
            need(41);
            out += ExtendedDateToText(bytes);
            break;
        case coltype::kText:
            AppendTextAsUtf8(file, bytes, out);
            break;
        case coltype::kMemo:
        case coltype::kOle: {
            // A reader for this value only, as ReadLongValue has: its pages
            // are read as they are now, none kept from an earlier value.
            LongValueReader reader(file);
            const ByteSpan value = reader.Read(bytes);
            if (column.type == coltype::kMemo)
                AppendTextAsUtf8(file, value, out);
            else
                AppendHex(value, out);
            break;
        }
        default:
            AppendHex(bytes, out);
            break;
    }
    return true;
}

}  // namespace dorvane::jet
