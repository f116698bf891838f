#pragma once
// CSV as RFC 4180 defines it, in UTF-8: fields separated by commas, records
// by CRLF or LF, fields in double quotes may hold commas, quotes (doubled)
// and line breaks. A byte-order mark at the start is skipped.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::jet::create {

struct CsvField {
    std::string text;
    bool quoted = false;  // "" is an empty text, an unquoted empty field a Null
};

struct CsvRecord {
    std::size_t line = 0;  // where the record starts, from 1
    std::vector<CsvField> fields;
};

// Every record, the header included. Throws errc::kValueRefused naming the line for
// a quote that does not close or stray text after a closing quote.
std::vector<CsvRecord> ParseCsv(std::string_view text);

}  // namespace dorvane::jet::create
