#pragma once
// Column values converted to text: text as UTF-8; integers in decimal;
// trailing NUL characters dropped; Single and Double in their shortest round-trip form; Currency with up to four
// decimals; Date/Time as "YYYY-MM-DD HH:MM:SS"; GUID as {XXXXXXXX-...};
// Boolean as 1/0; Decimal exact with its scale; binary and OLE as upper-case
// hex; memo as text.

#include <optional>
#include <string>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

class PageFile;

// std::nullopt for Null. Long values are read through `file`.
std::optional<std::string> FieldToText(const PageFile& file, const Column& column, ByteSpan row,
                                       const FieldSpan& field);
// The same text appended to `out`, for a loop over many values that reuses
// one string; false for Null, with nothing appended.
bool AppendFieldText(const PageFile& file, const Column& column, ByteSpan row, const FieldSpan& field,
                     std::string& out);

// The pieces, for callers with bytes in hand.
std::string DateTimeToText(double days);
void AppendDateTimeText(double days, std::string& out);
std::string CurrencyToText(std::int64_t ten_thousandths);
void AppendCurrencyText(std::int64_t ten_thousandths, std::string& out);
std::string DecimalToText(ByteSpan bytes17, unsigned scale);
std::string GuidToText(ByteSpan bytes16);
// ACE: the 16-byte DECIMAL of a calculated result, and an extended date/time
// as "YYYY-MM-DD HH:MM:SS.fffffff".
std::string DecimalStructToText(ByteSpan bytes16);
std::string ExtendedDateToText(ByteSpan bytes42);
// The result inside a calculated column's stored value.
ByteSpan CalculatedData(ByteSpan wrapped);
std::string TextToUtf8(const PageFile& file, ByteSpan bytes);

// Whether a column's text form is binary (hex) rather than characters.
bool IsBinaryType(std::uint8_t type);

}  // namespace dorvane::jet
