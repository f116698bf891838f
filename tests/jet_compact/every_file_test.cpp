// Every test database read by the engine and by mdbtools (mdb-export, an
// independent reader), then compacted: the source untouched, the copy no
// larger (smaller where there was space to reclaim), compacting the copy
// again changes nothing, mdbtools reads in the copy the rows the engine reads
// in the source, and mdb-reader reads the same rows in both. The engine's own
// verification runs inside every compaction (verify_test.cpp shows that it
// refuses a wrong copy). A file with encrypted pages compacts into its
// encrypted copy.
//
// mdbtools is compared by value: numbers as numbers, dates asked for in ISO
// form, and its known ways of showing values differently allowed for by type.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <sstream>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/database.h"
#include "engines/jet/format/rc4.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;
using Row = std::vector<std::string>;

// mdb-export without quoting: fields, rows and Null as sequences that no
// test value holds (single control characters do occur).
constexpr char kField[] = "\x1f|\x1f";
constexpr char kRow[] = "\x1e#\x1e";
constexpr char kNull[] = "\x01<Null>\x01";

std::vector<std::string> Split(const std::string& text, const std::string& by) {
    std::vector<std::string> parts;
    for (std::size_t from = 0, at; from < text.size(); from = at + by.size()) {
        at = std::min(text.find(by, from), text.size());
        parts.push_back(text.substr(from, at - from));
    }
    return parts;
}

std::vector<Row> MdbExport(const fs::path& file, const std::string& table) {
    const CommandResult out = RunCommand("mdb-export -Q -0 " + Quote(kNull) + " -d " + Quote(kField) + " -R " +
                                         Quote(kRow) + " -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                                         Quote(file) + " " + Quote(table) + " 2>/dev/null");
    EXPECT_EQ(out.status, 0) << table;
    std::vector<Row> rows;
    for (const std::string& line : Split(out.output, kRow)) rows.push_back(Split(line + kField, kField));
    return rows;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string UpperUndashed(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    return Upper(text);
}

bool Same(const Column& column, const std::optional<std::string>& ours, const std::string& theirs) {
    if (!ours || theirs == kNull) {
        // mdbtools cannot show type 0x11, and shows Binary values whose text
        // (up to the first zero byte) is empty as Null.
        return theirs == kNull && (!ours || column.type == coltype::kFixedBinary ||
                                   (column.type == coltype::kBinary && Unhex(*ours).c_str()[0] == '\0'));
    }
    switch (column.type) {
        case coltype::kByte: case coltype::kInteger: case coltype::kLong: case coltype::kCurrency:
        case coltype::kSingle: case coltype::kDouble: case coltype::kDecimal: {
            char* end = nullptr;
            const double a = std::strtod(ours->c_str(), nullptr);
            const double b = std::strtod(theirs.c_str(), &end);
            const double tolerance = column.type == coltype::kSingle ? 1e-6 : 1e-12;
            return !theirs.empty() && *end == '\0' && std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(a));
        }
        case coltype::kBinary: {
            // mdbtools shows Binary as text up to the first zero byte, or the hex of that text.
            const std::string text = Unhex(*ours).c_str();
            return theirs == text || Upper(theirs) == Upper(*ours) || Upper(theirs) == HexUpper(ByteSpan(
                reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        }
        case coltype::kGuid:  // with -b hex, the hex of the GUID's text, one dash short
            return UpperUndashed(theirs) == UpperUndashed(*ours) || UpperUndashed(Unhex(theirs)) == UpperUndashed(*ours);
        case coltype::kOle: case coltype::kFixedBinary:
            return Upper(theirs) == Upper(*ours);
        case coltype::kText: case coltype::kMemo: {
            // mdbtools turns CR into LF and shows the C1 controls that code
            // page 1252 leaves unassigned as '?'.
            std::string normalised;
            for (std::size_t i = 0; i < ours->size(); ++i) {
                const auto byte = static_cast<unsigned char>((*ours)[i]);
                const bool c1 = byte == 0xC2 && i + 1 < ours->size() && static_cast<unsigned char>((*ours)[i + 1]) < 0xA0;
                normalised += c1 ? '?' : byte == '\r' ? '\n' : static_cast<char>(byte);
                i += c1 ? 1 : 0;
            }
            std::string expected = theirs;
            std::replace(expected.begin(), expected.end(), '\r', '\n');
            return normalised == expected;
        }
        case coltype::kDateTime:  // mdbtools cannot show dates before 1900
            return *ours == theirs || (theirs.rfind("1900-01-00", 0) == 0 && *ours < "1900-01-01");
        default:
            return *ours == theirs;
    }
}

bool HasOverflowRows(const PageFile& file, const TableDef& def) {
    for (std::uint32_t number : TableDataPages(file, def)) {
        const DataPage page = DataPage::Parse(file.format(), number, file.ReadPage(number));
        for (const Slot& slot : page.slots())
            if (slot.kind == SlotKind::kOverflowPointer) return true;
    }
    return false;
}

// Rows of the engine's reading that mdbtools shows differently, in order,
// or where `anyOrder` (relocated rows meet mdbtools where their bodies lie)
// as a set; and the first difference.
std::pair<std::size_t, std::string> Mismatches(const TableDef& def, const TextRows& ours, const fs::path& file,
                                               const std::string& table, bool anyOrder) {
    std::vector<Row> theirs = MdbExport(file, table);
    if (theirs.empty()) return {1, "mdbtools exported nothing"};
    std::vector<std::size_t> position;  // mdbtools' column order can differ
    for (const Column& column : def.columns) {
        const auto at = std::find(theirs[0].begin(), theirs[0].end(), column.name);
        if (at == theirs[0].end()) return {1, "mdbtools has no column " + column.name};
        position.push_back(static_cast<std::size_t>(at - theirs[0].begin()));
    }
    theirs.erase(theirs.begin());
    if (theirs.size() != ours.rows.size()) return {1, std::to_string(theirs.size()) + " rows in mdbtools"};
    const auto difference = [&](const std::vector<std::optional<std::string>>& a, const Row& b) -> std::string {
        if (b.size() != def.columns.size()) return "mdbtools shows " + std::to_string(b.size()) + " fields";
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            if (!Same(def.columns[c], a[c], b[position[c]]))
                return def.columns[c].name + ": engine '" + a[c].value_or("<Null>") + "', mdbtools '" + b[position[c]] + "'";
        }
        return {};
    };
    std::pair<std::size_t, std::string> result;
    std::vector<bool> used(theirs.size(), false);
    for (std::size_t r = 0; r < ours.rows.size(); ++r) {
        std::size_t match = r;
        if (anyOrder)
            for (match = 0; match < theirs.size() && (used[match] || !difference(ours.rows[r], theirs[match]).empty());) ++match;
        const std::string d = match < theirs.size() ? difference(ours.rows[r], theirs[match]) : "no equal row in mdbtools";
        if (d.empty()) used[match] = true;
        else if (result.first++ == 0) result.second = "row " + std::to_string(r) + ": " + d;
    }
    return result;
}

// mdb-reader's rows of every table, sorted within each (tests/node/dump-rows.mjs).
CommandResult MdbReaderView(const fs::path& file) {
    return RunCommand("node " + Quote(fs::path(DORVANE_NODE_DIR) / "dump-rows.mjs") + " " + Quote(file));
}

class EveryFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(EveryFile, ReadLikeMdbtoolsAndCompactedIntoTheSameContent) {
    TempFolder dir;
    const fs::path source = dir.Copy(GetParam());
    const Bytes before = ReadBytes(source);
    CompactSummary summary;
    ASSERT_NO_THROW(CompactFile(source, dir / "copy.mdb", summary));
    EXPECT_TRUE(ReadBytes(source) == before) << "the source must not change";
    const Bytes copy = ReadBytes(dir / "copy.mdb");
    EXPECT_EQ(copy.size(), std::uint64_t{summary.copy_pages} * (before.size() / summary.source_pages));
    EXPECT_LE(copy.size(), before.size());
    if (GetParam().parent_path().filename() == "products") {
        EXPECT_LT(copy.size(), before.size()) << "deleted rows reclaimed";
    }
    ASSERT_NO_THROW(CompactFile(dir / "copy.mdb", dir / "again.mdb"));
    EXPECT_TRUE(ReadBytes(dir / "again.mdb") == copy) << "a second compaction changed the file";

    if (HaveOracle("mdb-export --version", "mdbtools (mdb-export)")) {
        const JetDatabase db = JetDatabase::Open(source);
        std::set<std::string> ours;
        for (const CatalogEntry& entry : db.tables()) ours.insert(entry.name);
        for (const fs::path& file : {source, dir / "copy.mdb"}) {
            std::istringstream listed(RunCommand("mdb-tables -1 -S " + Quote(file) + " 2>/dev/null").output);
            std::set<std::string> theirs;
            for (std::string name; std::getline(listed, name);) theirs.insert(name);
            EXPECT_EQ(ours, theirs) << file;
        }
        for (const CatalogEntry& entry : db.tables()) {
            const TableDef def = db.LoadTable(entry.name);
            const TextRows rows = ReadTableText(db.file(), def);
            const auto [inSource, first] = Mismatches(def, rows, source, entry.name, HasOverflowRows(db.file(), def));
            EXPECT_EQ(inSource, 0u) << entry.name << " " << first;
            const auto [inCopy, firstInCopy] = Mismatches(def, rows, dir / "copy.mdb", entry.name, false);
            EXPECT_EQ(inCopy, 0u) << entry.name << " in the copy: " << firstInCopy;
        }
    }
    if (HaveOracle("node -e 'process.exit(0)' && test -d " + Quote(fs::path(DORVANE_NODE_DIR) / "node_modules/mdb-reader"),
                   "node with mdb-reader (npm install in tests/node)")) {
        const CommandResult rows = MdbReaderView(source);
        EXPECT_EQ(rows.status, 0);
        EXPECT_FALSE(rows.output.empty());
        EXPECT_TRUE(rows.output == MdbReaderView(dir / "copy.mdb").output) << "mdb-reader reads different rows";
    }
}

INSTANTIATE_TEST_SUITE_P(TestData, EveryFile, ::testing::ValuesIn(AllTestDatabases()),
                         [](const ::testing::TestParamInfo<fs::path>& p) {
                             std::string name = p.param.parent_path().filename().string() + "_" + p.param.stem().string();
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(EveryFileSet, TestDataIsThere) { EXPECT_GE(AllTestDatabases().size(), 40u) << "under " << TestData(); }

// Encrypted pages, under a derivation of the test's own (RC4, key XOR page
// number): the copy reads back like its source in the verification, so each
// page is encrypted under the number it has in the copy.
TEST(EncryptedPages, CompactIntoAnEncryptedCopy) {
    constexpr std::uint32_t kKey = 0x5A17C3E9;
    for (const char* name : {"mdb/jet3/testV1997.mdb", "products/post_db.mdb"}) {
        TempFolder dir;
        Bytes bytes = ReadBytes(TestData() / name);
        const std::size_t pageSize = bytes.at(0x14) == 0 ? 2048 : 4096;
        PutLe32(bytes, 0x3E, Le32(bytes, 0x3E) ^ kKey);  // the key, in the masked (XORed) header
        for (std::uint32_t page = 1; page < bytes.size() / pageSize; ++page) {
            const std::uint32_t k = kKey ^ page;
            const std::uint8_t key[] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                                        static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
            Rc4Apply(key, std::span<std::uint8_t>(bytes.data() + page * pageSize, pageSize));
        }
        WriteBytes(dir / "encrypted.mdb", bytes);
        EXPECT_NO_THROW(CompactFile(dir / "encrypted.mdb", dir / "copy.mdb")) << name;
        EXPECT_EQ(PageFile::Open(dir / "copy.mdb").encryption_key(), kKey) << name;
    }
}

}  // namespace
}  // namespace dorvane::jet
