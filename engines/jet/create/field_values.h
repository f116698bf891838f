#pragma once
// Values turned into the bytes a row stores for them. Long values (memo,
// OLE) carry the value itself; the table writer stores it and puts the field
// in the row.

#include <cstdint>
#include <string_view>

#include "engines/jet/format/row_writer.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet::create {

StoredValue NullValue();
StoredValue BooleanValue(bool value);
StoredValue ByteValue(std::uint8_t value);
StoredValue IntegerValue(std::int16_t value);
StoredValue LongValue(std::int32_t value);
StoredValue DoubleValue(double value);
StoredValue DateTimeValue(double days_since_1899_12_30);
StoredValue CurrencyValue(std::int64_t ten_thousandths);
StoredValue BinaryValue(ByteSpan bytes);
// Text and memo as Jet 4 stores them: compressed where the column allows it.
// Throws errc::kValueRefused for a text longer than its column.
StoredValue TextValue(const Column& column, std::string_view utf8);

}  // namespace dorvane::jet::create
