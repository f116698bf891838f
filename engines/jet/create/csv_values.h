#pragma once
// The column types a CSV import chooses between, how a column's type is
// chosen from its values, and how a CSV field becomes a stored value.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/jet/create/csv_reader.h"
#include "engines/jet/create/table_layout.h"
#include "engines/jet/format/row_writer.h"

namespace dorvane::jet::create {

enum class ImportType { kYesNo, kLong, kCurrency, kDouble, kDateTime, kText, kMemo, kOle };

inline constexpr std::size_t kTextCharacters = 255;

// "Long", "Double", "Currency", "DateTime" (or "Date"), "YesNo" (or
// "Boolean"), "Text", "Memo", "OLE" (hexadecimal, as export writes it), in
// any case. OLE is never chosen from the values: hexadecimal reads as text.
std::optional<ImportType> ImportTypeNamed(std::string_view name);
std::string ImportTypeName(ImportType type);

// The narrowest type every non-empty value fits: Yes/No (true/false/yes/no),
// Long, Currency (at most two decimals, at least one value with two), Double,
// Date/Time (YYYY-MM-DD, optionally with hh:mm[:ss]), Text up to 255
// characters, else Memo. A column with no values is Text.
ImportType ChooseType(const std::vector<const CsvField*>& values);

NewColumn ColumnFor(const std::string& name, ImportType type);

// Throws errc::kValueRefused saying why the field does not fit (the caller names the line).
StoredValue ConvertField(const Column& column, ImportType type, const CsvField& field);

}  // namespace dorvane::jet::create
