#include "app/jet_tool/csv.h"

namespace dorvane::jet_tool {

std::string CsvField(const std::optional<std::string>& value) {
    if (!value) return {};
    if (!value->empty() && value->find_first_of(",\"\r\n") == std::string::npos) return *value;
    std::string out = "\"";
    for (char c : *value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void AppendCsvField(std::string& out, std::string_view value) {
    bool quoted = value.empty();
    for (const char c : value) quoted |= c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quoted) {
        out += value;
        return;
    }
    out += '"';
    for (const char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
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
