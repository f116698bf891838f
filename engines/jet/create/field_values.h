#pragma once
// Values turned into the bytes a row stores for them. Long values (memo,
// OLE) carry the value itself; the table writer stores it and puts the field
// in the row.

#include <cstdint>
#include <string_view>

#include "engines/jet/format/row_writer.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet::create {

FieldValue NullValue();
FieldValue BooleanValue(bool value);
FieldValue ByteValue(std::uint8_t value);
FieldValue IntegerValue(std::int16_t value);
FieldValue LongValue(std::int32_t value);
FieldValue DoubleValue(double value);
FieldValue DateTimeValue(double days_since_1899_12_30);
FieldValue CurrencyValue(std::int64_t ten_thousandths);
FieldValue BinaryValue(ByteSpan bytes);
// Text and memo as Jet 4 stores them: compressed where the column allows it.
// Throws kValueRefused for a text longer than its column.
FieldValue TextValue(const Column& column, std::string_view utf8);

}  // namespace dorvane::jet::create
