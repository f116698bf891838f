#include "engines/jet/create/field_values.h"

#include <bit>
#include <cstring>

#include "core/error.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {
template <typename T>
FieldValue LittleEndian(T value) {
    static_assert(std::endian::native == std::endian::little, "values are stored little-endian");
    FieldValue out{true, false, Bytes(sizeof(T))};
    std::memcpy(out.bytes.data(), &value, sizeof(T));
    return out;
}
}  // namespace

FieldValue NullValue() { return {}; }
FieldValue BooleanValue(bool value) { return {true, value, {}}; }
FieldValue ByteValue(std::uint8_t value) { return LittleEndian(value); }
FieldValue IntegerValue(std::int16_t value) { return LittleEndian(value); }
FieldValue LongValue(std::int32_t value) { return LittleEndian(value); }
FieldValue DoubleValue(double value) { return LittleEndian(value); }
FieldValue DateTimeValue(double days) { return LittleEndian(days); }
FieldValue CurrencyValue(std::int64_t ten_thousandths) { return LittleEndian(ten_thousandths); }
FieldValue BinaryValue(ByteSpan bytes) { return {true, false, Bytes(bytes.begin(), bytes.end())}; }

FieldValue TextValue(const Column& column, std::string_view utf8) {
    FieldValue out{true, false, Utf8ToJet4Text(utf8, (column.ext_flags & kColumnCompressed) != 0)};
    if (column.type == coltype::kText && Ucs2Length(utf8) * 2 > column.length) {
        throw Error(kValueRefused, "the text for column \"" + column.name + "\" is longer than its " +
                                       std::to_string(column.length / 2) + " characters");
    }
    return out;
}

}  // namespace dorvane::jet::create
