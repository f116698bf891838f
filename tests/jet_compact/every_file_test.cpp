// Every test database read by the engine and by mdbtools, then compacted: the source
// untouched, the copy no larger and without empty pages, a fixed point and what repair
// writes, mdbtools reading in it, in order, the rows the engine reads in the source,
// mdb-reader the same rows; object ids (which move with table definitions) compared by
// the name and type of the object they name.

#include <map>
#include <set>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/format/rc4.h"
#include "engines/jet/format/value.h"
#include "core/ascii.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;
using Row = std::vector<std::string>;

std::string NoDashes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    return text;
}

std::string Unhex(const std::string& hex) {
    const Bytes bytes = FromHex(hex);
    return {bytes.begin(), bytes.end()};
}

bool Same(const Column& column, const std::optional<std::string>& ours, const std::string& theirs) {
    // mdbtools reads neither calculated values nor the types after 0x13, shows a complex
    // column's key where the engine shows its items, and a zero-length text as Null; the
    // copy's own reading and tests/jet/ace_test.cpp cover them.
    if (column.IsCalculated() || column.type == coltype::kComplex ||
        (column.type >= coltype::kExtendedDate && theirs == kExportNull))
        return true;
    if (ours && ours->empty() && theirs == kExportNull && column.type == coltype::kText) return true;
    // mdbtools cannot show type 0x11; shows Binary as text up to the first zero byte (Null
    // when empty), as hex, or as that text's hex; a GUID as its text's hex, one dash short.
    const std::string text = ours && column.type == coltype::kBinary ? Unhex(*ours).c_str() : "";
    if (!ours || theirs == kExportNull)
        return theirs == kExportNull &&
               (!ours || column.type == coltype::kFixedBinary || (column.type == coltype::kBinary && text.empty()));
    switch (column.type) {
        case coltype::kByte:
        case coltype::kInteger:
        case coltype::kLong:
        case coltype::kCurrency:
        case coltype::kSingle:
        case coltype::kDouble:
        case coltype::kDecimal: {
            char* end = nullptr;
            const double a = std::strtod(ours->c_str(), nullptr), b = std::strtod(theirs.c_str(), &end);
            const double tolerance = column.type == coltype::kSingle ? 1e-6 : 1e-12;
            return !theirs.empty() && *end == '\0' && std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(a));
        }
        case coltype::kBinary:
            return theirs == text || EqualsIgnoringAsciiCase(theirs, *ours) ||
                   EqualsIgnoringAsciiCase(
                       theirs, HexUpper(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
        case coltype::kGuid:
            return EqualsIgnoringAsciiCase(NoDashes(Unhex(theirs)), NoDashes(*ours));
        case coltype::kOle:
        case coltype::kFixedBinary:
            return EqualsIgnoringAsciiCase(theirs, *ours);
        case coltype::kText:
        case coltype::kMemo: {  // the C1 controls code page 1252 lacks shown as '?', others than the BMP's as "??"
            std::string shown;
            for (std::size_t i = 0; i < ours->size(); ++i) {
                if (static_cast<unsigned char>((*ours)[i]) >= 0xF0) {
                    shown += "??";
                    i += 3;
                    continue;
                }
                const bool c1 = static_cast<unsigned char>((*ours)[i]) == 0xC2 && i + 1 < ours->size() &&
                                static_cast<unsigned char>((*ours)[i + 1]) < 0xA0;
                shown += c1 ? '?' : (*ours)[i];
                i += c1 ? 1 : 0;
            }
            return shown == theirs;
        }
        case coltype::kDateTime:  // mdbtools cannot show dates before 1900
            return *ours == theirs || (theirs.rfind("1900-01-00", 0) == 0 && *ours < "1900-01-01");
        default:
            return *ours == theirs;
    }
}

// The first row the engine reads that mdbtools shows differently in `file`, in order or
// as a set (mdbtools meets a relocated row where its body lies); "" when there is none.
std::string FirstDifference(const TableDef& def, const TextRows& ours, const fs::path& file, const std::string& table,
                            bool anyOrder) {
    std::vector<Row> theirs = MdbExport(file, table, "-b hex");
    if (theirs.empty()) return "mdbtools reads nothing";
    std::vector<std::size_t> position;  // mdbtools' column order can differ
    for (const Column& column : def.columns) {
        const auto at = std::find(theirs.at(0).begin(), theirs[0].end(), column.name);
        if (at == theirs[0].end()) return "mdbtools has no column " + column.name;
        position.push_back(static_cast<std::size_t>(at - theirs[0].begin()));
    }
    theirs.erase(theirs.begin());
    if (theirs.size() != ours.rows.size()) return std::to_string(theirs.size()) + " rows in mdbtools";
    const auto difference = [&](const std::vector<std::optional<std::string>>& a, const Row& b) -> std::string {
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            if (b.size() != def.columns.size() || !Same(def.columns[c], a[c], b[position[c]]))
                return def.columns[c].name + ": engine '" + a[c].value_or("<Null>") + "', mdbtools '" +
                       b.at(position[c]) + "'";
        }
        return {};
    };
    std::vector<bool> used(theirs.size(), false);
    for (std::size_t r = 0, match = 0; r < ours.rows.size(); ++r, match = r) {
        if (anyOrder)
            for (match = 0; match < theirs.size() && (used[match] || !difference(ours.rows[r], theirs[match]).empty());)
                ++match;
        const std::string d =
            match < theirs.size() ? difference(ours.rows[r], theirs[match]) : "no equal row in mdbtools";
        if (!d.empty()) return "row " + std::to_string(r) + ": " + d;
        used[match] = true;
    }
    return {};
}

std::set<std::string> MdbTables(const fs::path& file) {
    std::set<std::string> names;
    for (const std::string& name : SplitOn(RunCommand("mdb-tables -1 -S " + Quote(file) + " 2>/dev/null").output, "\n"))
        if (!name.empty()) names.insert(name);
    return names;
}

// Source id -> copy id of every object whose name and type is unique in both catalogs,
// and of an id naming nothing in the source that would name an object in the copy.
std::map<std::string, std::string> IdsByObjectName(const fs::path& source, const fs::path& copy) {
    std::map<std::pair<std::string, std::int16_t>, std::vector<std::int32_t>> before, after;
    std::set<std::int32_t> named;
    for (const CatalogEntry& e : ReadCatalog(PageFile::Open(source)))
        before[{e.name, e.type}].push_back(e.id), named.insert(e.id);
    std::map<std::string, std::string> ids;
    for (const CatalogEntry& e : ReadCatalog(PageFile::Open(copy))) {
        after[{e.name, e.type}].push_back(e.id);
        if (!named.contains(e.id))
            ids[std::to_string(e.id)] = std::to_string(static_cast<std::uint32_t>(e.id) | compact::kDanglingIdMark);
    }
    for (const auto& [object, id] : before)
        if (id.size() == 1 && after[object].size() == 1) ids[std::to_string(id[0])] = std::to_string(after[object][0]);
    return ids;
}

// The source's rows as the copy must hold them: each object id naming the same object.
TextRows WithMovedIds(TextRows rows, const std::string& table, const std::map<std::string, std::string>& ids) {
    for (const compact::IdColumn& id : compact::kIdColumns) {
        const auto at = std::find(rows.columns.begin(), rows.columns.end(), id.column);
        if (table != id.table || at == rows.columns.end()) continue;
        for (auto& row : rows.rows) {
            std::optional<std::string>& value = row[static_cast<std::size_t>(at - rows.columns.begin())];
            if (value && ids.contains(*value)) value = ids.at(*value);
        }
    }
    return rows;
}

class EveryFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(EveryFile, ReadLikeMdbtoolsAndCompactedIntoTheSameContent) {
    TempFolder dir;
    const fs::path source = Copy(dir, GetParam()), copy = dir / "copy.mdb";
    const Bytes before = ReadBytes(source);
    CompactSummary summary;
    ASSERT_NO_THROW(CompactFile(source, copy, summary));
    EXPECT_TRUE(ReadBytes(source) == before) << "the source must not change";
    const Bytes compacted = ReadBytes(copy);
    EXPECT_EQ(compacted.size(), std::uint64_t{summary.copy_pages} * (before.size() / summary.source_pages));
    EXPECT_LE(compacted.size(), before.size());
    EXPECT_EQ(PageFile::Open(copy).version_byte(), PageFile::Open(source).version_byte());
    EXPECT_LE(summary.holes * 100, summary.copy_pages) << "empty pages kept";
    const bool reclaims = GetParam().parent_path().filename() == "products";  // they hold deleted rows
    EXPECT_TRUE(!reclaims || compacted.size() < before.size()) << "deleted rows reclaimed";
    CompactSummary again;
    ASSERT_NO_THROW(CompactFile(copy, dir / "again.mdb", again));
    EXPECT_TRUE(ReadBytes(dir / "again.mdb") == compacted) << "a second compaction changed the file";
    EXPECT_EQ(again.definitions_moved, 0u) << "packed definitions moved";
    RepairReport report;  // a sound file repairs into exactly the compacted copy
    ASSERT_NO_THROW(RepairFile(source, dir / "repaired.mdb", report));
    EXPECT_TRUE(ReadBytes(dir / "repaired.mdb") == compacted && report.LossSummary().empty()) << report.LossSummary();
    for (const TableRepair& table : report.tables)  // sound indexes are carried over, not rebuilt
        EXPECT_TRUE(table.rebuilt_indexes.empty()) << table.name << " index " << table.rebuilt_indexes.front();

    {  // the engine reads in the copy what it reads in the source
        const JetDatabase db = JetDatabase::Open(source), other = JetDatabase::Open(copy);
        const std::map<std::string, std::string> ids = IdsByObjectName(source, copy);
        for (const CatalogEntry& entry : db.tables()) {
            const TextRows rows = WithMovedIds(ReadTableText(db.file(), db.LoadTable(entry.name)), entry.name, ids);
            const TextRows inCopy = ReadTableText(other.file(), other.LoadTable(entry.name));
            EXPECT_TRUE(std::is_permutation(rows.rows.begin(), rows.rows.end(), inCopy.rows.begin(), inCopy.rows.end()))
                << entry.name;
        }
    }
    if (HaveOracle("mdb-export --version", "mdbtools (mdb-export)")) {
        const JetDatabase db = JetDatabase::Open(source);
        std::set<std::string> ours;
        for (const CatalogEntry& entry : db.tables())
            if (!entry.IsLink()) ours.insert(entry.name);  // mdbtools lists no link
        EXPECT_EQ(MdbTables(source), ours);
        EXPECT_EQ(MdbTables(copy), ours);
        const std::map<std::string, std::string> ids = IdsByObjectName(source, copy);
        for (const CatalogEntry& entry : db.tables()) {
            if (entry.IsLink()) continue;
            const TableDef def = db.LoadTable(entry.name);
            const TextRows rows = ReadTableText(db.file(), def);
            EXPECT_EQ(FirstDifference(def, rows, source, entry.name, true), "") << entry.name;
            EXPECT_EQ(FirstDifference(def, WithMovedIds(rows, entry.name, ids), copy, entry.name, false), "")
                << entry.name << " in the copy";
        }
    }
    if (HaveOracle(
            "node -e 'process.exit(0)' && test -d " + Quote(fs::path(DORVANE_NODE_DIR) / "node_modules/mdb-reader"),
            "node with mdb-reader (npm install in tests/node)")) {
        // Rows of every table, sorted within each, object ids as the names of their objects.
        std::string calculated;  // shown by this reader as the stored bytes, which a move changes
        const JetDatabase db = JetDatabase::Open(source);
        for (const CatalogEntry& entry : db.tables())
            for (const Column& column : db.LoadTable(entry.name).columns)
                if (column.IsCalculated()) calculated += " " + Quote(entry.name + "." + column.name);
        const auto rows = [&](const fs::path& f) {
            return RunCommand("node " + Quote(fs::path(DORVANE_NODE_DIR) / "dump-rows.mjs") + " " + Quote(f) +
                              calculated);
        };
        const CommandResult inSource = rows(source);
        EXPECT_TRUE(inSource.status == 0 && !inSource.output.empty()) << inSource.status;
        EXPECT_TRUE(inSource.output == rows(copy).output) << "mdb-reader reads different rows";
    }
}

INSTANTIATE_TEST_SUITE_P(TestData, EveryFile, ::testing::ValuesIn(AllTestDatabases()), [](const auto& p) {
    return TestName(p.param.parent_path().filename().string() + "_" + p.param.stem().string());
});

INSTANTIATE_TEST_SUITE_P(Ace, EveryFile, ::testing::ValuesIn(AllAceDatabases()), [](const auto& p) {
    return TestName(p.param.parent_path().filename().string() + "_" + p.param.stem().string());
});

TEST(EveryFileSet, TestDataIsThere) {
    EXPECT_GE(AllTestDatabases().size(), 40u) << "under " << TestData();
    EXPECT_GE(AllAceDatabases().size(), 43u) << "under " << TestData();
}

// Encrypted pages (the test's own RC4 under key XOR page number): the copy reads back
// like its source in the verification, each page (definitions moved included)
// encrypted under its new number.
TEST(EncryptedPages, CompactIntoAnEncryptedCopy) {
    constexpr std::uint32_t kKey = 0x5A17C3E9;
    for (const char* name : {"mdb/jet3/testV1997.mdb", "products/post_db.mdb"}) {
        TempFolder dir;
        Bytes bytes = ReadBytes(TestData() / name);
        const std::size_t pageSize = bytes.at(0x14) == 0 ? 2048 : 4096;
        PutLe32(bytes, 0x3E, Le32(bytes, 0x3E) ^ kKey);  // the key, in the masked (XORed) header
        for (std::uint32_t page = 1; page < bytes.size() / pageSize; ++page) {
            Bytes key(4);
            PutLe32(key, 0, kKey ^ page);
            Rc4Apply(key, std::span<std::uint8_t>(bytes.data() + page * pageSize, pageSize));
        }
        WriteBytes(dir / "encrypted.mdb", bytes);
        CompactSummary summary;
        EXPECT_NO_THROW(CompactFile(dir / "encrypted.mdb", dir / "copy.mdb", summary)) << name;
        EXPECT_EQ(PageFile::Open(dir / "copy.mdb").encryption_key(), kKey) << name;
        EXPECT_GT(summary.definitions_moved, 0u) << name << ": definitions move in encrypted files too";
    }
}

}  // namespace
}  // namespace dorvane::jet
