#include "engines/jet/create/field_values.h"

#include <bit>
#include <cstring>

#include "core/error.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {
template <typename T>
StoredValue LittleEndian(T value) {
    static_assert(std::endian::native == std::endian::little, "values are stored little-endian");
    StoredValue out{true, false, Bytes(sizeof(T))};
    std::memcpy(out.bytes.data(), &value, sizeof(T));
    return out;
}
}  // namespace

StoredValue NullValue() { return {}; }
StoredValue BooleanValue(bool value) { return {true, value, {}}; }
StoredValue ByteValue(std::uint8_t value) { return LittleEndian(value); }
StoredValue IntegerValue(std::int16_t value) { return LittleEndian(value); }
StoredValue LongValue(std::int32_t value) { return LittleEndian(value); }
StoredValue DoubleValue(double value) { return LittleEndian(value); }
StoredValue DateTimeValue(double days) { return LittleEndian(days); }
StoredValue CurrencyValue(std::int64_t ten_thousandths) { return LittleEndian(ten_thousandths); }
StoredValue BinaryValue(ByteSpan bytes) { return {true, false, Bytes(bytes.begin(), bytes.end())}; }

StoredValue TextValue(const Column& column, std::string_view utf8) {
    StoredValue out{true, false, Utf8ToJet4Text(utf8, (column.ext_flags & kColumnCompressed) != 0)};
    if (column.type == coltype::kText && Ucs2Length(utf8) * 2 > column.length) {
        throw Error(errc::kValueRefused, "the text for column \"" + column.name + "\" is longer than its " +
                                             std::to_string(column.length / 2) + " characters");
    }
    return out;
}

}  // namespace dorvane::jet::create
