// Every table of every test file, system tables included, read by the engine
// and by mdbtools (Debian's mdb-export, an independent reader): same rows,
// same values. Formats are normalised here, not in the product: numbers are
// compared as numbers, mdbtools is asked for ISO date/time text, and it turns
// CR into LF in its exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "engines/jet/format/catalog.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/database.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::AllTestDatabases;
using testing::RunCommand;
using testing::ShellQuote;

struct CsvField {
    std::string text;
    bool quoted = false;
};
using CsvRow = std::vector<CsvField>;

// mdb-export's CSV: "\n" between rows, quotes doubled inside quoted fields.
std::vector<CsvRow> ParseCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    CsvRow row;
    CsvField field;
    bool inQuotes = false;
    bool any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.text += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field.text += c;
            }
            continue;
        }
        any = true;
        if (c == '"') {
            inQuotes = true;
            field.quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field = {};
        } else if (c == '\n') {
            row.push_back(std::move(field));
            field = {};
            rows.push_back(std::move(row));
            row = {};
            any = false;
        } else {
            field.text += c;
        }
    }
    if (any) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<double> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0') return std::nullopt;
    return value;
}

bool IsNumericType(std::uint8_t type) {
    return type == coltype::kByte || type == coltype::kInteger || type == coltype::kLong ||
           type == coltype::kCurrency || type == coltype::kSingle || type == coltype::kDouble ||
           type == coltype::kDecimal;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Empty text when equal, else a description of the difference.
std::string Compare(const Column& column, const std::optional<std::string>& ours, const CsvField& theirs) {
    const auto differ = [&]() {
        return "column '" + column.name + "': engine " + (ours ? "'" + *ours + "'" : "Null") + ", mdbtools '" +
               theirs.text + "'";
    };
    if (column.type == coltype::kFixedBinary && theirs.text.empty()) return {};  // mdbtools cannot show it
    if (!ours) return theirs.text.empty() && !theirs.quoted ? std::string() : differ();
    if (IsNumericType(column.type)) {
        const auto a = Number(*ours);
        const auto b = Number(theirs.text);
        if (!a || !b) return differ();
        const double tolerance = column.type == coltype::kSingle ? 1e-6 : 1e-12;
        return std::fabs(*a - *b) <= tolerance * std::max(1.0, std::fabs(*a)) ? std::string() : differ();
    }
    if (column.type == coltype::kBinary) {
        // mdbtools prints Binary columns as text ending at the first zero
        // byte, sometimes as the hex of that text.
        std::string raw;
        for (std::size_t i = 0; i + 1 < ours->size(); i += 2) {
            const char byte = static_cast<char>(std::stoi(ours->substr(i, 2), nullptr, 16));
            if (byte == '\0') break;
            raw += byte;
        }
        const std::string hexRaw = HexUpper(ByteSpan(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()));
        return theirs.text == raw || Upper(theirs.text) == hexRaw || Upper(theirs.text) == Upper(*ours) ? std::string()
                                                                                                        : differ();
    }
    if (column.type == coltype::kGuid) {
        // With -b hex mdbtools prints the hex of the GUID's text.
        // Its text also lacks the last dash; compare without dashes.
        const auto undashed = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
            return Upper(text);
        };
        std::string decoded;
        for (std::size_t i = 0; i + 1 < theirs.text.size(); i += 2) {
            decoded += static_cast<char>(std::stoi(theirs.text.substr(i, 2), nullptr, 16));
        }
        const bool isHex = theirs.text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
        const std::string plain = undashed(*ours);
        return undashed(theirs.text) == plain || (isHex && undashed(decoded) == plain) ? std::string() : differ();
    }
    if (IsBinaryType(column.type)) return Upper(*ours) == Upper(theirs.text) ? std::string() : differ();
    if (column.type == coltype::kText || column.type == coltype::kMemo) {
        // mdbtools turns CR into LF and shows characters its converter lacks
        // (the C1 controls that code page 1252 leaves unassigned) as '?'.
        std::string normalised;
        for (std::size_t i = 0; i < ours->size(); ++i) {
            const auto byte = static_cast<unsigned char>((*ours)[i]);
            if (byte == 0xC2 && i + 1 < ours->size() && static_cast<unsigned char>((*ours)[i + 1]) < 0xA0) {
                normalised += '?';
                ++i;
            } else {
                normalised += byte == '\r' ? '\n' : static_cast<char>(byte);
            }
        }
        std::string expected = theirs.text;
        std::replace(expected.begin(), expected.end(), '\r', '\n');
        return normalised == expected ? std::string() : differ();
    }
    if (column.type == coltype::kDateTime && theirs.text.rfind("1900-01-00", 0) == 0) {
        // mdbtools cannot show dates before 1900.
        return *ours < "1900-01-01" ? std::string() : differ();
    }
    return *ours == theirs.text ? std::string() : differ();
}

bool HasOverflowRows(const PageFile& file, const TableDef& def) {
    for (std::uint32_t number : TableDataPages(file, def)) {
        const DataPage page = DataPage::Parse(file.format(), number, file.ReadPage(number));
        for (const Slot& slot : page.slots()) {
            if (slot.kind == SlotKind::kOverflowPointer) return true;
        }
    }
    return false;
}

class MdbtoolsCompare : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(MdbtoolsCompare, EveryTableEqualsMdbExport) {
    ASSERT_EQ(RunCommand("command -v mdb-export >/dev/null").status, 0)
        << "mdbtools (mdb-export) is required: it is in scripts/packages/base.list";
    const std::filesystem::path path = GetParam();
    const JetDatabase db = JetDatabase::Open(path);

    // The same set of tables.
    const auto listed = RunCommand("mdb-tables -1 -S " + ShellQuote(path.string()) + " 2>/dev/null");
    ASSERT_EQ(listed.status, 0);
    std::set<std::string> theirTables;
    for (const CsvRow& row : ParseCsv(listed.output)) {
        if (!row.empty() && !row[0].text.empty()) theirTables.insert(row[0].text);
    }
    std::set<std::string> ourTables;
    for (const CatalogEntry& entry : db.tables()) ourTables.insert(entry.name);
    EXPECT_EQ(ourTables, theirTables);

    std::size_t compared = 0;
    for (const CatalogEntry& entry : db.tables()) {
        SCOPED_TRACE(path.filename().string() + " table " + entry.name);
        const TableDef def = ReadTableDef(db.file(), entry.table_page());
        const TextRows ours = ReadTableText(db.file(), def);
        const auto exported = RunCommand("mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                                         ShellQuote(path.string()) + " " + ShellQuote(entry.name) + " 2>/dev/null");
        ASSERT_EQ(exported.status, 0);
        std::vector<CsvRow> theirs = ParseCsv(exported.output);
        ASSERT_FALSE(theirs.empty());
        // mdbtools' column order can differ: match columns by name.
        std::vector<std::size_t> position;
        for (const Column& column : def.columns) {
            const auto at = std::find_if(theirs[0].begin(), theirs[0].end(),
                                         [&](const CsvField& f) { return f.text == column.name; });
            ASSERT_NE(at, theirs[0].end()) << "mdbtools has no column " << column.name;
            position.push_back(static_cast<std::size_t>(at - theirs[0].begin()));
        }
        theirs.erase(theirs.begin());  // header
        ASSERT_EQ(ours.rows.size(), theirs.size());

        const auto rowDifference = [&](const std::vector<std::optional<std::string>>& a, const CsvRow& b) {
            if (b.size() != def.columns.size()) return std::string("mdbtools row has a different column count");
            for (std::size_t c = 0; c < def.columns.size(); ++c) {
                std::string difference = Compare(def.columns[c], a[c], b[position[c]]);
                if (!difference.empty()) return difference;
            }
            return std::string();
        };
        std::size_t mismatched = 0;
        std::string first;
        for (std::size_t r = 0; r < theirs.size(); ++r) {
            std::string difference = rowDifference(ours.rows[r], theirs[r]);
            if (!difference.empty() && mismatched++ == 0) first = "row " + std::to_string(r) + ": " + difference;
        }
        if (mismatched > 0 && HasOverflowRows(db.file(), def)) {
            // mdbtools meets relocated rows in page order; match them as a set.
            std::vector<bool> used(theirs.size(), false);
            mismatched = 0;
            for (const auto& row : ours.rows) {
                bool found = false;
                for (std::size_t r = 0; r < theirs.size() && !found; ++r) {
                    if (!used[r] && rowDifference(row, theirs[r]).empty()) used[r] = found = true;
                }
                if (!found && mismatched++ == 0) first = "a row has no equal in mdbtools' export";
            }
        }
        EXPECT_EQ(mismatched, 0u) << first;
        compared += theirs.size();
    }
    RecordProperty("rows_compared", static_cast<int>(compared));
}

std::string TestName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(TestData, MdbtoolsCompare, ::testing::ValuesIn(AllTestDatabases()), TestName);

}  // namespace
}  // namespace dorvane::jet
