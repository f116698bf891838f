// What compaction refuses, leaving the source as it was and nothing behind: a
// missing source, not a database, a source in use, a destination there, a missing
// or read-only folder (more locks: ../jet/engine_test.cpp; a full disk:
// ../crash/run_faults.py; damage: repair_test.cpp), and a wrong copy.

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
    const fs::path source = Copy(dir, TestData() / "products/post_db.mdb");
    const Bytes original = ReadBytes(source);
    WriteBytes(dir / "Temp.bk0", Bytes{'l', 'e', 'f', 't'});
    WriteBytes(dir / "notes.mdb", Bytes(8192, 'x'));
    const fs::path readOnly = dir / "readonly";
    fs::create_directory(readOnly);
    // Root ignores permission bits: for root a read-only mount is the real thing.
    const bool root = ::geteuid() == 0;
    const bool haveReadOnly = root ? ::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0
                                   : (fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec), true);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        if (root && haveReadOnly) ::umount2(readOnly.c_str(), MNT_DETACH);
    });
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
        EXPECT_EQ(ErrorOf([&, &f = from, &t = to] { CompactFile(f, t); }, &description), error) << to;
        EXPECT_NE(description.find(text), std::string::npos) << description;
        EXPECT_TRUE(ReadBytes(source) == original) << to;
        EXPECT_EQ(fs::exists(to), existed) << to;
        EXPECT_TRUE(!existed || ReadBytes(to) == before) << to;
    }
    EXPECT_NO_THROW(CompactFile(source, dir / "out.mdb")) << "the lock is gone with its process";
    if (!haveReadOnly) GTEST_SKIP() << "no read-only folder: cannot mount a read-only tmpfs as root here";
}

// The source is read in blocks: one whose length is no multiple of a block and
// ends in a partial page compacts into the same copy as without that tail.
TEST(CompactReads, ASourceEndingInAPartialPageCompactsAsWithoutIt) {
    TempFolder dir;
    const fs::path whole = Copy(dir, TestData() / "products/post_db.mdb");
    Bytes tailed = ReadBytes(whole);
    ASSERT_NE(tailed.size() % (16 * 1024), 0u);
    tailed.resize(tailed.size() + 1000, 0x5A);
    WriteBytes(dir / "tailed.mdb", tailed);
    CompactFile(whole, dir / "a.mdb");
    CompactFile(dir / "tailed.mdb", dir / "b.mdb");
    EXPECT_TRUE(ReadBytes(dir / "a.mdb") == ReadBytes(dir / "b.mdb"));
}

// The compacted copy made wrong through the test seam just before verification:
// refused as not matching the source, the source kept and no copy left.
TEST(VerifyCopy, AWrongCopyIsRefusedAndDeleted) {
    using Spoil = std::function<void(Bytes&, const PageFile&)>;  // changes the bytes of the file given
    const std::pair<Spoil, const char*> cases[] = {
        {[](Bytes& b, const PageFile& f) {
             b[At(f, TableOf(f, "Customers").data[0] + 1) - 1] ^= 0x01;
         },  // the first row's null mask
         "table at page 30, row 1, column"},
        {[](Bytes& b, const PageFile& f) {  // the last data byte of a long value's first row
             std::uint32_t p = 2;
             while (Le32(f.ReadPage(p), f.format().page_owner) != kLongValueOwner || f.ReadPage(p)[0] != kPageData) ++p;
             b[At(f, p + 1, 0) - 1] ^= 0x01;
         },
         "the long value of column"},
        {[](Bytes& b, const PageFile& f) {
             b[FirstEntryRow(f, TableOf(f, "Customers").def.physical_indexes[0].root_page)] ^= 1;
         },
         "index 0"},
        {[](Bytes& b, const PageFile& f) {  // the table's map without its first data page
             const Target t = TableOf(f, "Customers");
             Unlist(b, f, RowPointer::FromU32(t.def.owned_map), {t.data[0]});
         },
         "table at page 30, row 1"},
        {[](Bytes& b, const PageFile& f) { MarkFree(b, f, TableOf(f, "Customers").data[0]); },
         "is in use but marked free"},
        {[](Bytes& b, const PageFile& f) { b.resize(b.size() - f.page_size()); },
         "is outside the file"},            // one page short
        {[](Bytes& b, const PageFile& f) {  // an index page of the table owned by the catalog
             PutLe32(b, At(f, TableOf(f, "Customers").def.physical_indexes[0].root_page, f.format().page_owner),
                     kCatalogPage);
         },
         "\"Customers\": page"},
        {[](Bytes& b, const PageFile& f) {  // the first permission row naming the object after its own
             const Target aces = TableOf(f, "MSysACEs");
             const std::size_t id =
                 RowAt(f, aces.data[0], 0) + 2 + aces.def.columns[*aces.def.ColumnIndex("ObjectId")].fixed_offset;
             PutLe32(b, id, Le32(b, id) + 1);
         },
         "MSysACEs, row 1: ObjectId no longer names the same object"},
    };
    TempFolder dir;
    const fs::path source = Copy(dir, TestData() / "products/post_db.mdb");
    const Bytes original = ReadBytes(source);
    for (const auto& [wrongCopy, detail] : cases) {
        const BeforeVerification spoil = [&, &spoilWith = wrongCopy](const fs::path& copy) {
            const Bytes written = ReadBytes(copy);
            Bytes wrong = written;
            spoilWith(wrong, PageFile::FromMemory(written));
            EXPECT_TRUE(wrong != written) << "the copy was not changed";
            WriteBytes(copy, wrong);
        };
        // A repair names the difference from the rows it salvages again.
        for (const bool repairing : {false, true}) {
            CompactSummary summary;
            RepairReport report;
            std::string description;
            const auto run = [&] {
                if (repairing)
                    RepairFile(source, dir / "out.mdb", report, spoil);
                else
                    CompactFile(source, dir / "out.mdb", summary, spoil);
            };
            EXPECT_EQ(ErrorOf(run, &description), errc::kVerifyFailed) << repairing;
            EXPECT_NE(description.find("compacted copy does not match the source"), std::string::npos) << description;
            EXPECT_NE(description.find(detail), std::string::npos) << description;
            EXPECT_TRUE(ReadBytes(source) == original);
            EXPECT_FALSE(fs::exists(dir / "out.mdb"));
        }
    }
}

}  // namespace
}  // namespace dorvane::jet
