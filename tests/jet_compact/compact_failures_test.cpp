// What compaction refuses, leaving the source as it was and nothing behind: a
// missing source, not a database, a source in use, a destination there, a missing
// or read-only folder (more locks: ../jet/engine_test.cpp; a full disk:
// ../crash/full_disk_test.cpp), damage that could lose rows, and a wrong copy.

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "engines/jet/compact/compaction_seam.h"
#include "tests/jet/test_files.h"
#include "tests/support/lock_holder.h"

namespace dorvane::jet {
namespace {

using namespace testing;
using dorvane::testing::LockHolder;

TEST(CompactFailures, EachRefusalLeavesEverythingAsItWas) {
    TempFolder dir;
    const fs::path source = dir.Copy(TestData() / "products/post_db.mdb");
    const Bytes original = ReadBytes(source);
    WriteBytes(dir / "Temp.bk0", Bytes{'l', 'e', 'f', 't'});
    WriteBytes(dir / "notes.mdb", Bytes(8192, 'x'));
    const fs::path readOnly = dir / "readonly";
    fs::create_directory(readOnly);
    // Root ignores permission bits: for root a read-only mount is the real thing.
    const bool root = ::geteuid() == 0;
    const bool haveReadOnly = root ? ::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0
                                   : (fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec), true);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { if (root && haveReadOnly) ::umount2(readOnly.c_str(), MNT_DETACH); });
    std::vector<std::tuple<fs::path, fs::path, long, const char*>> cases = {
        {dir / "absent.mdb", dir / "out.mdb", errc::kFileNotFound, "the file does not exist"},
        {dir / "notes.mdb", dir / "out.mdb", errc::kNotADatabase, "not an Access database"},
        {source, dir / "in-use.mdb", errc::kInUse, "in use"},
        {source, dir / "Temp.bk0", errc::kFileAlreadyExists, "a file of that name already exists"},
        {source, source, errc::kFileAlreadyExists, "onto itself"},
        {source, dir / "no such folder/out.mdb", errc::kPathNotFound, "the folder does not exist"},
    };
    if (haveReadOnly) cases.push_back({source, readOnly / "out.mdb", errc::kPermissionDenied, ""});
    for (const auto& [from, to, error, text] : cases) {
        const bool existed = fs::exists(to);
        const Bytes before = existed ? ReadBytes(to) : Bytes{};
        // The in-use case: a product with the database open, in another process.
        const auto product = to.filename() == "in-use.mdb" ? std::make_unique<LockHolder>(source, F_RDLCK) : nullptr;
        std::string description;
        EXPECT_EQ(ErrorNumberOf([&, &f = from, &t = to] { CompactFile(f, t); }, &description), error) << to;
        EXPECT_NE(description.find(text), std::string::npos) << description;
        EXPECT_TRUE(ReadBytes(source) == original) << to;
        EXPECT_EQ(fs::exists(to), existed) << to;
        EXPECT_TRUE(!existed || ReadBytes(to) == before) << to;
    }
    EXPECT_NO_THROW(CompactFile(source, dir / "out.mdb")) << "the lock is gone with its process";
    if (!haveReadOnly) GTEST_SKIP() << "no read-only folder: cannot mount a read-only tmpfs as root here";
}

using Spoil = std::function<void(Bytes&, const PageFile&)>;  // changes the bytes of the file given

// Compacts `source` changed by `damage`, its copy changed by `wrongCopy` just before
// verification (the test seam): `error`'s description; the source kept, no copy left.
std::string Refusal(const Bytes& source, const Spoil& damage, const Spoil& wrongCopy, long error) {
    TempFolder dir;
    Bytes bytes = source;
    if (damage) damage(bytes, PageFile::FromMemory(source));
    WriteBytes(dir / "source.mdb", bytes);
    const BeforeVerification spoil = [&](const fs::path& copy) {
        const Bytes written = ReadBytes(copy);
        Bytes wrong = written;
        wrongCopy(wrong, PageFile::FromMemory(written));
        EXPECT_TRUE(wrong != written) << "the copy was not changed";
        WriteBytes(copy, wrong);
    };
    CompactSummary summary;
    std::string description;
    EXPECT_EQ(ErrorNumberOf([&] { CompactFile(dir / "source.mdb", dir / "out.mdb", summary, wrongCopy ? spoil : nullptr); },
                            &description), error) << description;
    EXPECT_TRUE(ReadBytes(dir / "source.mdb") == bytes);
    EXPECT_FALSE(fs::exists(dir / "out.mdb"));
    return description;
}

std::size_t At(const PageFile& f, std::size_t page, std::size_t offset) { return page * f.page_size() + offset; }

// Where row `row` of data page `page` starts.
std::size_t RowAt(const PageFile& f, std::uint32_t page, std::size_t row) {
    return At(f, page, DataPage::Parse(f.format(), page, f.ReadPage(page)).slots().at(row).start);
}

// The row byte of the first entry of the index's last leaf (stored whole).
std::size_t FirstEntryRow(const PageFile& f, std::uint32_t root) {
    const std::uint32_t leaf = WalkIndex(f, root).pages.back();
    return At(f, leaf, f.format().idx_entries + ParseIndexPage(f.format(), leaf, f.ReadPage(leaf)).entries.at(0).key.size() + 3);
}

// Marks `page` free in the free-page map on page 1 (inline, from page 0).
void MarkFree(Bytes& b, const PageFile& f, std::uint32_t page) {
    b[RowAt(f, 1, 0) + kUsageMapInlineHeader + page / 8] |= static_cast<std::uint8_t>(1u << (page % 8));
}

// Damage that would make rows unreadable or unreachable is refused: a copy would
// lose them without a trace. overflowTestV2000's Table1 has no index to cross-check
// its rows: definition page 24, seven rows on page 27, row 2 through an overflow
// pointer to page 28 row 0. MSysACEs (page 3) has one index.
TEST(CompactDamage, DamageThatCouldLoseRowsIsRefused) {
    const auto fill = [](std::size_t offset, std::size_t n, std::uint8_t value) {
        return [=](Bytes& b, const PageFile& f) { std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(At(f, 27, offset)), n, value); };
    };
    const std::pair<Spoil, const char*> cases[] = {
        {fill(0, 4096, 0), "not its data pages"},
        {fill(0, 512, 0), "not its data pages"},  // a torn sector
        {fill(0xFDF, 33, 0xFF), "Table1"},        // a row shorter than its null mask
        {[](Bytes& b, const PageFile& f) { b[At(f, 24, 16)] = 9; }, "up to 2 rows may be lost"},
        {[](Bytes& b, const PageFile& f) { PutLe16(b, At(f, 27, 16), 0xDFFF); }, "invalid offset"},
        {[](Bytes& b, const PageFile& f) { PutLe32(b, At(f, 27, 0xF9D), 0x0E00); }, "another owner"},  // into the catalog
        {[](Bytes& b, const PageFile& f) { PutLe16(b, At(f, 28, 14), 0x0FC6); }, "live row of its own"},
        {[](Bytes& b, const PageFile& f) { MarkFree(b, f, 27); }, "page 27 is in use but marked free"},
        {[](Bytes& b, const PageFile& f) { b[FirstEntryRow(f, ReadTableDef(f, 3).physical_indexes[0].root_page)] = 0xF0; },
         "which is not a row of the table"},
    };
    const Bytes original = ReadBytes(TestData() / "mdb/jet4/overflowTestV2000.mdb");
    for (const auto& [damage, reason] : cases) {
        const std::string description = Refusal(original, damage, {}, errc::kCorrupt);
        EXPECT_NE(description.find(reason), std::string::npos) << description;
    }
}

// Customers, the table post_db's wrong copies are made wrong in, and its first data page.
std::pair<TableDef, std::uint32_t> Customers(const PageFile& f) {
    TableDef def = ReadTableDef(f, FindTable(ReadTables(f), "Customers")->table_page());
    const std::uint32_t page = TableDataPages(f, def).front();
    return {std::move(def), page};
}

TEST(VerifyCopy, AWrongCopyIsRefusedAndDeleted) {
    const std::pair<Spoil, const char*> cases[] = {
        {[](Bytes& b, const PageFile& f) { b[At(f, Customers(f).second + 1, 0) - 1] ^= 0x01; },  // the first row's null mask
         "table at page 30, row 1, column"},
        {[](Bytes& b, const PageFile& f) {  // the last data byte of a long value's first row
             std::uint32_t p = 2;
             while (Le32(f.ReadPage(p), f.format().page_owner) != kLongValueOwner || f.ReadPage(p)[0] != kPageData) ++p;
             b[At(f, p + 1, 0) - 1] ^= 0x01;
         }, "the long value of column"},
        {[](Bytes& b, const PageFile& f) { b[FirstEntryRow(f, Customers(f).first.physical_indexes[0].root_page)] ^= 1; }, "index 0"},
        {[](Bytes& b, const PageFile& f) {  // the table's map without its first data page
             const auto [def, page] = Customers(f);
             const std::size_t map = RowAt(f, RowPointer::FromU32(def.owned_map).page, RowPointer::FromU32(def.owned_map).row);
             const std::uint32_t bit = page - Le32(b, map + 1);
             b[map + kUsageMapInlineHeader + bit / 8] &= static_cast<std::uint8_t>(~(1u << (bit % 8)));
         }, "table at page 30, row 1"},
        {[](Bytes& b, const PageFile& f) { MarkFree(b, f, Customers(f).second); }, "is in use but marked free"},
        {[](Bytes& b, const PageFile& f) { b.resize(b.size() - f.page_size()); }, "is outside the file"},  // one page short
    };
    const Bytes post = ReadBytes(TestData() / "products/post_db.mdb");
    for (const auto& [wrongCopy, detail] : cases) {
        const std::string description = Refusal(post, {}, wrongCopy, errc::kVerifyFailed);
        EXPECT_NE(description.find("compacted copy does not match the source"), std::string::npos) << description;
        EXPECT_NE(description.find(detail), std::string::npos) << description;
    }
}

}  // namespace
}  // namespace dorvane::jet
