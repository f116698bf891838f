// Each refusal leaves the source as it was and no destination behind (a file
// that was there before stays as it was): missing source, not a database,
// source in use, destination already there, missing or read-only folder, and
// damage that could lose rows. Other locks are in ../jet/lock_test.cpp, a
// disk filling up part-way in ../crash/full_disk_test.cpp.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <memory>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/lock.h"
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
    struct Case {
        fs::path from, to;
        long error;
        const char* text;
    };
    std::vector<Case> cases = {
        {dir / "absent.mdb", dir / "out.mdb", errc::kFileNotFound, "the file does not exist"},
        {dir / "notes.mdb", dir / "out.mdb", errc::kNotADatabase, "not an Access database"},
        {source, dir / "in-use.mdb", errc::kInUse, "in use"},
        {source, dir / "Temp.bk0", errc::kFileAlreadyExists, "a file of that name already exists"},
        {source, source, errc::kFileAlreadyExists, "onto itself"},
        {source, dir / "no such folder/out.mdb", errc::kPathNotFound, "the folder does not exist"},
    };
    if (haveReadOnly) cases.push_back({source, readOnly / "out.mdb", errc::kPermissionDenied, ""});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to.string() + ": " + c.text);
        const bool existed = fs::exists(c.to);
        const Bytes before = existed ? ReadBytes(c.to) : Bytes{};
        // The in-use case: a product with the database open, in another process.
        const auto product = c.to.filename() == "in-use.mdb" ? std::make_unique<LockHolder>(source, F_RDLCK) : nullptr;
        std::string description;
        EXPECT_EQ(ErrorNumberOf([&] { CompactFile(c.from, c.to); }, &description), c.error);
        EXPECT_NE(description.find(c.text), std::string::npos) << description;
        EXPECT_TRUE(ReadBytes(source) == original);
        EXPECT_EQ(fs::exists(c.to), existed);
        EXPECT_TRUE(!existed || ReadBytes(c.to) == before);
    }
    EXPECT_NO_THROW(CompactFile(source, dir / "out.mdb")) << "the lock is gone with its process";
    if (!haveReadOnly) GTEST_SKIP() << "no read-only folder: cannot mount a read-only tmpfs as root here";
}

// Damage that would make rows unreadable or unreachable is refused, never
// compacted away: the copy would lose those rows without a trace. Table1 of
// overflowTestV2000 has no index to cross-check its rows: its definition is
// page 24 and its seven rows lie on page 27, row 2 through an overflow
// pointer to page 28 row 0. MSysACEs (page 3) has one index.
TEST(CompactDamage, DamageThatCouldLoseRowsIsRefused) {
    const auto at = [](std::size_t page, std::size_t offset) { return page * 4096 + offset; };
    const auto fill = [](Bytes& b, std::size_t from, std::size_t n, std::uint8_t value) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(from), n, value);
    };
    const std::pair<std::function<void(Bytes&, const PageFile&)>, const char*> cases[] = {
        {[&](Bytes& b, const PageFile&) { fill(b, at(27, 0), 4096, 0); }, "not its data pages"},
        {[&](Bytes& b, const PageFile&) { fill(b, at(27, 0), 512, 0); }, "not its data pages"},  // a torn sector
        {[&](Bytes& b, const PageFile&) { b[at(24, 16)] = 9; }, "up to 2 rows may be lost"},
        {[&](Bytes& b, const PageFile&) { PutLe16(b, at(27, 16), 0xDFFF); }, "invalid offset"},
        {[&](Bytes& b, const PageFile&) { PutLe32(b, at(27, 0xF9D), 0x0E00); }, "another owner"},  // into the catalog
        {[&](Bytes& b, const PageFile&) { PutLe16(b, at(28, 14), 0x0FC6); }, "live row of its own"},
        {[&](Bytes& b, const PageFile&) { fill(b, at(27, 0xFDF), 33, 0xFF); }, "Table1"},  // shorter than its null mask
        {[&](Bytes& b, const PageFile&) {  // a data page marked free on page 1
             const std::size_t bitmap = at(1, Le16(b, at(1, 14)) & kRowOffsetMask) + kUsageMapInlineHeader;
             b[bitmap + 27 / 8] = static_cast<std::uint8_t>(b[bitmap + 27 / 8] | 1u << (27 % 8));
         }, "page 27 is in use but marked free"},
        {[&](Bytes& b, const PageFile& f) {  // an index entry naming no row: the first of a leaf is stored whole
             const std::uint32_t leaf = WalkIndex(f, ReadTableDef(f, 3).physical_indexes[0].root_page).pages.back();
             const IndexPage page = ParseIndexPage(f.format(), leaf, f.ReadPage(leaf));
             b[at(leaf, f.format().idx_entries + page.entries[0].key.size() + 3)] = 0xF0;
         }, "which is not a row of the table"},
    };
    const Bytes original = ReadBytes(TestData() / "mdb/jet4/overflowTestV2000.mdb");
    for (const auto& [damage, reason] : cases) {
        TempFolder dir;
        Bytes bytes = original;
        damage(bytes, PageFile::FromMemory(original));
        WriteBytes(dir / "source.mdb", bytes);
        std::string description;
        EXPECT_EQ(ErrorNumberOf([&] { CompactFile(dir / "source.mdb", dir / "out.mdb"); }, &description), errc::kCorrupt);
        EXPECT_NE(description.find(reason), std::string::npos) << description;
        EXPECT_TRUE(ReadBytes(dir / "source.mdb") == bytes);
        EXPECT_FALSE(fs::exists(dir / "out.mdb"));
    }
}

}  // namespace
}  // namespace dorvane::jet
