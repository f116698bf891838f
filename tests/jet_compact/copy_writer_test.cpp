// The copy as a repair continues it: tables taken back, whether their reading
// failed part way or a later pass writes them otherwise, leave no trace, so
// that the copy is the one written straight.

#include <set>
#include <tuple>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/copy_writer.h"
#include "engines/jet/compact/source_tables.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet::compact {
namespace {

using namespace testing;

// Every third row left out, with the entries that name it: what a salvage
// gives of a table it could read only in part.
class ThinnedTable final : public TableSource {
public:
    explicit ThinnedTable(const TableSource& whole) : whole_(whole) {
        std::size_t n = 0;
        whole_.Rows([&](RowPointer header, ByteSpan) {
            if (n++ % 3 == 2) left_out_.insert(header.ToU32());
        });
    }
    void Rows(const RowVisitor& visit) const override {
        whole_.Rows([&](RowPointer header, ByteSpan body) {
            if (!left_out_.contains(header.ToU32())) visit(header, body);
        });
    }
    void Entries(std::size_t index, const EntryVisitor& visit) const override {
        whole_.Entries(index, [&](ByteSpan key, RowPointer row) {
            if (!left_out_.contains(row.ToU32())) visit(key, row);
        });
    }

private:
    const TableSource& whole_;
    std::set<std::uint32_t> left_out_;
};

// Fails once half its rows were written, as a damaged page would.
class FailingTable final : public TableSource {
public:
    explicit FailingTable(const TableSource& whole) : whole_(whole) {}
    void Rows(const RowVisitor& visit) const override {
        std::size_t n = 0;
        whole_.Rows([&](RowPointer header, ByteSpan body) {
            if (++n > 40) ThrowCorrupt("a damaged page");
            visit(header, body);
        });
    }
    void Entries(std::size_t index, const EntryVisitor& visit) const override { whole_.Entries(index, visit); }

private:
    const TableSource& whole_;
};

TEST(CopyWriter, TablesTakenBackLeaveTheCopyWrittenStraight) {
    TempFolder folder;
    const PageFile file = PageFile::Open(TestData() / "products/post_db.mdb");
    const SourceTables tables = ReadTablesAsStored(file);
    // The user table with the most rows is thinned, and written last.
    std::size_t thinned = 0;
    std::uint64_t most = 0;
    for (std::size_t i = 0; i < tables.defs.size(); ++i) {
        std::uint64_t rows = 0;
        StoredTable(file, tables.defs[i]).Rows([&](RowPointer, ByteSpan) { ++rows; });
        if (!tables.entries[i].IsSystem() && rows > most) std::tie(thinned, most) = std::pair(i, rows);
    }
    ASSERT_GT(most, 100u);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < tables.defs.size(); ++i)
        if (i != thinned) order.push_back(i);
    const auto write = [&](CopyWriter& writer, std::size_t table, bool thin) {
        const StoredTable whole(file, tables.defs[table]);
        if (thin)
            writer.Write(table, tables.defs[table], tables.entries[table].name, ThinnedTable(whole));
        else
            writer.Write(table, tables.defs[table], tables.entries[table].name, whole);
    };

    CopyWriter straight(file, tables, folder / "straight.mdb");
    for (std::size_t table : order) write(straight, table, false);
    write(straight, thinned, true);
    straight.Finish();
    straight.destination().Commit();

    CopyWriter taken_back(file, tables, folder / "taken_back.mdb");
    ASSERT_TRUE(taken_back.IsFor(tables));
    // A table whose reading fails part way, written in full later.
    const StoredTable whole(file, tables.defs[thinned]);
    EXPECT_THROW(taken_back.Write(thinned, tables.defs[thinned], "failing", FailingTable(whole)), Error);
    EXPECT_TRUE(taken_back.written().empty());
    EXPECT_EQ(taken_back.counts().rows, 0u);
    // Every table whole and finished, as a first pass does before its check
    // names one; then that one taken back and written thinned.
    for (std::size_t table : order) write(taken_back, table, false);
    write(taken_back, thinned, false);
    taken_back.Finish();
    taken_back.KeepFirst(order.size());
    ASSERT_EQ(taken_back.written().size(), order.size());
    write(taken_back, thinned, true);
    taken_back.Finish();
    taken_back.destination().Commit();

    EXPECT_EQ(straight.written().back().rows, most - most / 3);
    EXPECT_EQ(taken_back.counts().rows, straight.counts().rows);
    EXPECT_EQ(ReadBytes(folder / "taken_back.mdb"), ReadBytes(folder / "straight.mdb"));
    const CheckReport report = CheckDatabase(PageFile::Open(folder / "taken_back.mdb"));
    EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
}

// Another reading of the catalog, or a repair's restored table, needs a copy
// of its own.
TEST(CopyWriter, KeptOnlyForTheTablesItWasBegunFor) {
    TempFolder folder;
    const PageFile file = PageFile::Open(TestData() / "products/post_db.mdb");
    const SourceTables tables = ReadTablesAsStored(file);
    const CopyWriter writer(file, tables, folder / "copy.mdb");
    EXPECT_TRUE(writer.IsFor(tables));
    SourceTables fewer = tables;
    fewer.entries.pop_back();
    fewer.defs.pop_back();
    EXPECT_FALSE(writer.IsFor(fewer));
    SourceTables renamed = tables;
    renamed.entries.back().name += "x";
    EXPECT_FALSE(writer.IsFor(renamed));
    SourceTables restored = tables;
    restored.restored.emplace_back();
    EXPECT_FALSE(writer.IsFor(restored));
}

}  // namespace
}  // namespace dorvane::jet::compact
