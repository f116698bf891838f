#include "app/jet_tool/csv.h"

#include <algorithm>
#include <cstring>

namespace dorvane::jet_tool {

namespace {

// Whether the field from `start` to the end of `out` goes in quotes: when it
// is empty or holds a comma, quote, CR or LF. strcspn (fast on long texts)
// stops at the string's terminating NUL, and at a NUL inside the value too,
// past which the search goes on.
bool NeedsQuotes(const std::string& out, std::size_t start) {
    if (start == out.size()) return true;
    const char* at = out.c_str() + start;
    const char* const end = out.c_str() + out.size();
    for (;;) {
        at += std::strcspn(at, ",\"\r\n");
        if (at == end) return false;
        if (*at != '\0') return true;
        ++at;
    }
}

}  // namespace

std::string CsvField(const std::optional<std::string>& value) {
    if (!value) return {};
    std::string out = *value;
    QuoteCsvFieldFrom(out, 0);
    return out;
}

void AppendCsvField(std::string& out, std::string_view value) {
    const std::size_t start = out.size();
    out += value;
    QuoteCsvFieldFrom(out, start);
}

void QuoteCsvFieldFrom(std::string& out, std::size_t start) {
    if (!NeedsQuotes(out, start)) return;
    const std::size_t length = out.size() - start;
    const auto quotes =
        static_cast<std::size_t>(std::count(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '"'));
    // Moved up from the back, each quote doubled, between the new quotes.
    out.resize(out.size() + quotes + 2);
    char* const field = out.data() + start;
    std::size_t to = length + quotes + 2;
    field[--to] = '"';
    for (std::size_t from = length; from-- > 0;) {
        const char c = field[from];
        field[--to] = c;
        if (c == '"') field[--to] = '"';
    }
    field[--to] = '"';
}

std::string CsvRow(const std::vector<std::optional<std::string>>& fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) row += ',';
        if (fields[i]) AppendCsvField(row, *fields[i]);
    }
    return row + "\r\n";
}

}  // namespace dorvane::jet_tool
