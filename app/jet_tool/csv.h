#pragma once
// CSV as RFC 4180 writes it: CRLF line ends, fields with a comma, quote, CR
// or LF in double quotes with inner quotes doubled. A Null is an empty field;
// an empty text is "" so the two stay apart.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::jet_tool {

std::string CsvField(const std::optional<std::string>& value);
// The same for a value that is not Null, appended to `out`.
void AppendCsvField(std::string& out, std::string_view value);
// The same for a value already at the end of `out`, from `start` on: quoted
// there when it needs to be.
void QuoteCsvFieldFrom(std::string& out, std::size_t start);
// A whole row with its line end.
std::string CsvRow(const std::vector<std::optional<std::string>>& fields);

}  // namespace dorvane::jet_tool
