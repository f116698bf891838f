// Created databases and imported CSVs, read back by the engine, mdbtools and
// mdb-reader; what import refuses, with the file left as it was.

#include <random>

#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/create/create_database.h"
#include "engines/jet/create/csv_import.h"
#include "engines/jet/format/text_encode.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;
using create::ImportType;

constexpr char kNull[] = "\x01";

// mdb-reader's rows (every table here has two columns or more, so no row is empty).
std::vector<std::vector<std::string>> Split(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& row : SplitOn(text, "\x1e"))
        if (!row.empty()) rows.push_back(SplitOn(row, "\x1f"));
    return rows;
}

// A table's rows as each reader shows them, Null as kNull.
std::map<std::string, std::vector<std::vector<std::string>>> ReadBack(const fs::path& file, const std::string& table) {
    std::map<std::string, std::vector<std::vector<std::string>>> out;
    const JetDatabase db = JetDatabase::Open(file);
    ForEachRowText(db.file(), db.LoadTable(table), [&](std::vector<std::optional<std::string>>& row) {
        out["engine"].emplace_back();
        for (const auto& v : row) out["engine"].back().push_back(v.value_or(kNull));
    });
    if (HaveOracle("mdb-export --version", "mdbtools")) {
        out["mdbtools"] = MdbExport(file, table, "-H");
        for (auto& row : out["mdbtools"])
            std::replace(row.begin(), row.end(), std::string(kExportNull), std::string(kNull));
    }
    const std::string node = std::string("node ") + DORVANE_NODE_DIR + "/export-table.mjs ";
    if (HaveOracle("cd " DORVANE_NODE_DIR " && node -e \"import('mdb-reader')\"", "mdb-reader")) {
        out["mdb-reader"] =
            Split(RunCommand("cd " DORVANE_NODE_DIR " && " + node + Quote(file) + " " + Quote(fs::path(table))).output);
    }
    return out;
}

// Whether a reader's text is the CSV's value: numbers as numbers, the rest as text.
bool Same(ImportType type, const std::string& csv, const std::string& shown) {
    if (csv.empty()) return shown == (type == ImportType::kYesNo ? "0" : kNull);
    switch (type) {
        case ImportType::kYesNo:
            return shown == (csv == "yes" ? "1" : "0");
        case ImportType::kLong:
        case ImportType::kCurrency:
        case ImportType::kDouble: {
            const double a = std::stod(csv), b = shown == kNull ? std::nan("") : std::stod(shown);
            return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a));
        }
        default:
            return csv == shown;
    }
}

struct RandomTable {
    std::vector<ImportType> types;
    std::vector<std::vector<std::string>> rows;  // the values as written
    std::string csv;
};

// Columns of random types; values with letters beyond ASCII, quotes, commas,
// line breaks, memos of a few KiB, and empty (Null) fields.
RandomTable MakeRandomTable(std::mt19937& random, std::size_t rows) {
    const std::vector<std::string> words{"Müller",     "Ærø",        "Łódź",  "日本", "a,b",
                                         "say \"hi\"", "two\nlines", "plain", "€5"};
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    RandomTable t;
    t.types.push_back(ImportType::kLong);  // Id, the key
    for (std::size_t c = 1 + pick(6); c > 0; --c) t.types.push_back(static_cast<ImportType>(pick(7)));
    for (std::size_t c = 0; c < t.types.size(); ++c) t.csv += (c ? ",C" : "C") + std::to_string(c);
    t.csv += "\r\n";
    for (std::size_t r = 0; r < rows; ++r) {
        t.rows.emplace_back();
        for (std::size_t c = 0; c < t.types.size(); ++c) {
            std::string v;
            char buffer[40];
            switch (t.types[c]) {
                case ImportType::kYesNo:
                    v = pick(2) ? "yes" : "no";
                    break;
                case ImportType::kLong:
                    v = std::to_string(c == 0 ? static_cast<long>(r)
                                              : static_cast<long>(random() % 2000000000u) - 1000000000L);
                    break;
                case ImportType::kCurrency:
                    std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(pick(20000000)) / 100 - 50000);
                    v = buffer;
                    break;
                case ImportType::kDouble:
                    std::snprintf(buffer, sizeof buffer, "%.17g", std::uniform_real_distribution<>(-1e6, 1e6)(random));
                    v = buffer;
                    break;
                case ImportType::kDateTime:
                    std::snprintf(buffer, sizeof buffer, "%04zu-%02zu-%02zu %02zu:%02zu:%02zu", 1950 + pick(80),
                                  1 + pick(12), 1 + pick(28), pick(24), pick(60), pick(60));
                    v = buffer;
                    break;
                case ImportType::kText:
                    for (std::size_t w = 1 + pick(8); w > 0; --w) v += words[pick(words.size())] + " ";
                    break;
                case ImportType::kOle:  // never drawn: the readers show OLE values each their own way
                case ImportType::kMemo:
                    for (std::size_t w = 60 + pick(700); w > 0; --w) v += words[pick(words.size())] + " ";
                    break;
            }
            if (c != 0 && pick(7) == 0) v.clear();
            t.rows.back().push_back(v);
            std::string quoted = "\"";
            for (char ch : v) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            t.csv += (c ? "," : "") + (v.empty() ? std::string() : quoted + "\"");
        }
        t.csv += "\r\n";
    }
    return t;
}

TEST(CreateImportTest, RandomCsvsReadBackEqualUnderEveryReaderAndCompact) {
    std::mt19937 random(20261207);
    TempFolder dir;
    const fs::path file = dir / "new.mdb";
    create::CreateDatabase(file);
    for (int n = 0; n < 6; ++n) {
        const RandomTable table = MakeRandomTable(random, n == 0 ? 1 : 150);
        std::ofstream(dir / "t.csv", std::ios::binary) << table.csv;
        const std::string name = "table" + std::to_string(n);
        create::ImportOptions options{std::string("C0"), {}};  // each column's type chosen from its values
        for (std::size_t c = 1; c < table.types.size(); ++c)   // indexes with repeated keys and Nulls
            if (table.types[c] != ImportType::kMemo && table.types[c] != ImportType::kYesNo)
                options.indexes.push_back("C" + std::to_string(c));
        create::ImportSummary summary;
        ASSERT_NO_THROW(summary = create::ImportCsv(file, name, dir / "t.csv", options)) << table.csv.substr(0, 400);
        for (std::size_t c = 0; c < table.types.size(); ++c) {
            const bool any =
                std::any_of(table.rows.begin(), table.rows.end(), [c](const auto& row) { return !row[c].empty(); });
            EXPECT_TRUE(!any || summary.columns.at(c).second == table.types[c]) << name << " column " << c;
        }
        for (const auto& [reader, rows] : ReadBack(file, name)) {
            ASSERT_EQ(rows.size(), table.rows.size()) << reader << " " << name;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                for (std::size_t c = 0; c < table.types.size(); ++c) {
                    ASSERT_TRUE(Same(table.types[c], table.rows[r][c], rows[r].at(c)))
                        << reader << " " << name << " row " << r << " column " << c << ": '" << table.rows[r][c]
                        << "' shown as '" << rows[r][c] << "'";
                }
            }
        }
    }
    const CheckReport report = CheckDatabase(PageFile::Open(file));
    EXPECT_TRUE(report.ok()) << (report.ok() ? "" : report.problems.front());
    EXPECT_NO_THROW(CompactFile(file, dir / "compacted.mdb"));  // compared with its source before it is kept
    RepairReport repair;
    ASSERT_NO_THROW(RepairFile(file, dir / "repaired.mdb", repair));
    EXPECT_TRUE(repair.LossSummary().empty()) << repair.LossSummary();
}

// Keys and a table name of characters of every kind: the index is built, the
// check finds the file sound, every reader shows the same rows, and a repair
// that must rebuild the index writes the keys the import wrote.
TEST(CreateImportTest, KeysAndNamesOfAnyPrintableCharacter) {
    const std::vector<std::string> keys{"Zürich",
                                        "O'Brien & Co.",
                                        "[x].y",
                                        "\xF0\x9F\x98\x80 smile",
                                        "Straße 5",
                                        "Ærø",
                                        "東京",
                                        "naïve café",
                                        "ÇA VA?",
                                        "#1 (alt)",
                                        "~tilde",
                                        "Ωμέγα",
                                        "Müller & Söhne GmbH"};
    const std::string table = "Kunden Zürich & O'Brien #1";
    TempFolder dir;
    const fs::path file = dir / "new.mdb";
    create::CreateDatabase(file);
    std::string csv = "Name,N\r\n";
    for (std::size_t i = 0; i < keys.size(); ++i) csv += "\"" + keys[i] + "\"," + std::to_string(i) + "\r\n";
    std::ofstream(dir / "t.csv", std::ios::binary) << csv;
    ASSERT_NO_THROW(create::ImportCsv(file, table, dir / "t.csv", {std::string("Name"), {}}));
    const CheckReport report = CheckDatabase(PageFile::Open(file));
    EXPECT_TRUE(report.ok()) << (report.ok() ? "" : report.problems.front());
    for (const auto& [reader, rows] : ReadBack(file, table)) {
        ASSERT_EQ(rows.size(), keys.size()) << reader;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::string key = keys[r];  // mdbtools shows a character beyond UCS-2 as two '?'
            if (reader == "mdbtools" && key.starts_with("\xF0")) key.replace(0, 4, "??");
            EXPECT_EQ(rows[r].at(0), key) << reader;
        }
    }

    Bytes bytes = ReadBytes(file);
    const PageFile imported = PageFile::FromMemory(bytes);
    const Target t = TableOf(imported, table);
    for (std::uint32_t page : WalkIndex(imported, t.def.physical_indexes.at(0).root_page).pages)
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(At(imported, page)), imported.page_size(), 0);
    WriteBytes(dir / "damaged.mdb", bytes);
    RepairReport repair;
    ASSERT_NO_THROW(RepairFile(dir / "damaged.mdb", dir / "repaired.mdb", repair));
    EXPECT_EQ(repair.LossSummary(), "");
    CompactFile(file, dir / "compacted.mdb");
    const auto entries = [&](const fs::path& path) {
        const PageFile f = PageFile::Open(path);
        std::vector<std::string> out;
        for (const IndexEntry& e : WalkIndex(f, TableOf(f, table).def.physical_indexes.at(0).root_page).entries)
            out.push_back(HexUpper(e.key) + "@" + e.row.ToString());
        return out;
    };
    EXPECT_EQ(entries(dir / "repaired.mdb"), entries(dir / "compacted.mdb"));
}

// A created database holds the system tables of an Access-made one, column for column.
void ExpectTheSameTables(const JetDatabase& ours, const JetDatabase& access, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const TableDef a = ours.LoadTable(name), b = access.LoadTable(name);
        ASSERT_EQ(a.columns.size(), b.columns.size()) << name;
        for (std::size_t c = 0; c < a.columns.size(); ++c) {
            const Column &x = a.columns[c], &y = b.columns[c];
            EXPECT_EQ(std::tie(x.name, x.type, x.number, x.flags, x.length, x.var_index),
                      std::tie(y.name, y.type, y.number, y.flags, y.length, y.var_index))
                << name << "." << x.name;
            EXPECT_EQ(x.IsFixed() ? x.fixed_offset : 0, y.IsFixed() ? y.fixed_offset : 0) << name << "." << x.name;
        }
        ASSERT_EQ(a.logical_indexes.size(), b.logical_indexes.size()) << name;
        for (std::size_t i = 0; i < a.logical_indexes.size(); ++i) {
            const PhysicalIndex &x = a.physical_indexes[a.logical_indexes[i].physical_index],
                                &y = b.physical_indexes[b.logical_indexes[i].physical_index];
            EXPECT_EQ(a.logical_indexes[i].name, b.logical_indexes[i].name);
            EXPECT_EQ(a.logical_indexes[i].type, b.logical_indexes[i].type);
            EXPECT_EQ(x.flags, y.flags) << a.logical_indexes[i].name;
            EXPECT_EQ(x.columns.size(), y.columns.size());
        }
    }
    EXPECT_EQ(ours.tables().size(), names.size());
}

TEST(CreateImportTest, CreatedSystemTablesAreThoseAccessMakes) {
    TempFolder dir;
    create::CreateDatabase(dir / "new.mdb");
    ExpectTheSameTables(JetDatabase::Open(dir / "new.mdb"), JetDatabase::Open(TestData() / "mdb/jet4/delTestV2000.mdb"),
                        {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "MSysAccessObjects"});
}

// Each version's engine tables as Access makes them (not the navigation pane's, which
// Access adds when it first opens a file); its version byte; a table imported, compacted,
// read back by mdb-reader.
TEST(CreateImportTest, AceFilesOfEachVersion) {
    TempFolder dir;
    std::vector<std::string> names{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "MSysComplexColumns"};
    for (const char* kind :
         {"UnsignedByte", "Short", "Long", "IEEESingle", "IEEEDouble", "GUID", "Decimal", "Text", "Attachment"})
        names.push_back(std::string("MSysComplexType_") + kind);
    std::ofstream(dir / "people.csv") << "Id,Name,Amount\n1,Zürich,12.5\n2,O'Brien,3\n";
    for (const auto& [year, version] : {std::pair{"2007", kVersionAce2007}, std::pair{"2010", kVersionAce2010},
                                        std::pair{"2016", kVersionAce2016}, std::pair{"2019", kVersionAce2019}}) {
        const fs::path file = dir / (std::string(year) + ".accdb");
        create::CreateDatabase(file, version);
        EXPECT_EQ(PageFile::Open(file).version_byte(), version);
        ExpectTheSameTables(JetDatabase::Open(file),
                            JetDatabase::Open(TestData() / "accdb/empty" / ("empty" + std::string(year) + ".accdb")),
                            names);
        create::ImportCsv(file, "People", dir / "people.csv", {std::string("Id"), {}});
        EXPECT_TRUE(CheckDatabase(PageFile::Open(file)).ok()) << year;
        CompactFile(file, dir / "copy.accdb");
        for (const auto& [reader, rows] : ReadBack(dir / "copy.accdb", "People"))
            EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1", "Zürich", "12.5"}, {"2", "O'Brien", "3"}}))
                << year << " " << reader;
        fs::remove(dir / "copy.accdb");
    }
}

TEST(CreateImportTest, WhatDoesNotFitIsRefusedAndTheFileStaysAsItWas) {
    TempFolder dir;
    const fs::path file = dir / "new.mdb";
    create::CreateDatabase(file);
    std::ofstream(dir / "ok.csv") << "Code,N\nab,1\n";
    create::ImportCsv(file, "present", dir / "ok.csv", {});
    const Bytes before = ReadBytes(file);
    const std::tuple<const char*, const char*, std::optional<std::string>, long> cases[] = {
        {"Code,N\nab,1\ncd,x\n", "CSV line 3", std::nullopt, errc::kValueRefused},  // N typed Long below
        {"Code,N\nab,1\nAB,2\n", "repeats line 2", "Code", errc::kValueRefused},
        {"Code,N\nab,1\n,2\n", "CSV line 3: the key column", "Code", errc::kValueRefused},
        {"Code,N\nab,1\n\"open,2\n", "does not end", std::nullopt, errc::kValueRefused},
        {"Code,N\nab,1,3\n", "CSV line 2: the record has 3 fields", std::nullopt, errc::kValueRefused},
        {"Code,N\nStraße,1\nSTRASSE ,2\n", "CSV line 3: the key \"STRASSE \" repeats line 2", "Code",
         errc::kValueRefused},
    };
    for (const auto& [csv, text, key, error] : cases) {
        std::ofstream(dir / "bad.csv", std::ios::binary | std::ios::trunc) << csv;
        std::string why;
        const create::ImportOptions options{key, {{"N", ImportType::kLong}}};
        EXPECT_EQ(ErrorOf([&] { create::ImportCsv(file, "bad", dir / "bad.csv", options); }, &why), error) << csv;
        EXPECT_NE(why.find(text), std::string::npos) << why;
        EXPECT_TRUE(ReadBytes(file) == before) << csv;
    }
    // Names Access's SQL could not quote, or that it does not allow.
    for (const char* name : {"[x].y", "No.", "Hey!", "`q`", " leading", "tab\there"}) {
        std::string why;
        EXPECT_EQ(ErrorOf([&] { create::ImportCsv(file, name, dir / "ok.csv", {}); }, &why), errc::kValueRefused)
            << name;
        EXPECT_NE(why.find(name), std::string::npos) << why;
        EXPECT_TRUE(ReadBytes(file) == before) << name;
    }
    EXPECT_EQ(ErrorOf([&] { create::ImportCsv(file, "PRESENT", dir / "ok.csv", {}); }), errc::kFileAlreadyExists);
    EXPECT_EQ(ErrorOf([&] { create::CreateDatabase(file); }), errc::kFileAlreadyExists);
    EXPECT_EQ(RunCommand(std::string(DORVANE_JET_TOOL) + " create " + Quote(file) + " 2>/dev/null").status, 2);
    EXPECT_TRUE(ReadBytes(file) == before);
}

// Every Jet 4 test file takes a table and gives it back: sound after each
// step, and once compacted the size it had before.
TEST(CreateImportTest, EveryJet4AndAceFileTakesATableAndDropsItAgain) {
    TempFolder dir;
    std::string csv = "Id,Notes\n";
    for (std::size_t i = 0; i < 300; ++i) csv += std::to_string(i) + "," + std::string(100 + 10 * i, 'x') + "\n";
    std::ofstream(dir / "added.csv") << csv;
    std::vector<fs::path> files = AllTestDatabases();
    for (const fs::path& path : AllAceDatabases()) files.push_back(path);
    for (const fs::path& path : files) {
        if (PageFile::Open(path).version() != Version::kJet4) continue;
        const fs::path file = Copy(dir, path, "x.mdb");
        CompactFile(file, dir / "before.mdb");
        create::ImportCsv(file, "added", dir / "added.csv", {std::string("Id"), {}});
        EXPECT_TRUE(CheckDatabase(PageFile::Open(file)).ok()) << path;
        create::DropTable(file, "added");
        EXPECT_TRUE(CheckDatabase(PageFile::Open(file)).ok()) << path;
        CompactFile(file, dir / "after.mdb");
        EXPECT_EQ(fs::file_size(dir / "after.mdb"), fs::file_size(dir / "before.mdb")) << path;
        EXPECT_EQ(ErrorOf([&] { create::DropTable(file, "MSysACEs"); }), errc::kNotAvailable);
        for (const char* f : {"x.mdb", "before.mdb", "after.mdb"}) fs::remove(dir / f);
    }
}

}  // namespace
}  // namespace dorvane::jet
