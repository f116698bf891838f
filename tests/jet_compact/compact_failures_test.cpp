// Each refusal leaves the source as it was and no destination behind:
// missing source, not a database, source in use, destination already there,
// missing or read-only folder, and a disk that fills up part-way.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "core/error.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/lock.h"
#include "tests/jet_compact/test_files.h"
#include "tests/support/lock_holder.h"

namespace dorvane::testing {
namespace {

template <typename F>
long try_number(F f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// A small tmpfs mounted for one test (root only); unmounted again at the end.
class SmallFileSystem {
public:
    SmallFileSystem(const std::filesystem::path& at, const char* options, unsigned long flags) : at_(at) {
        std::filesystem::create_directories(at_);
        mounted_ = ::getuid() == 0 && ::mount("tmpfs", at_.c_str(), "tmpfs", flags, options) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

class CompactFailures : public ::testing::Test {
protected:
    void SetUp() override {
        source = CopyInto(dir, TestData() / "products" / "post_db.mdb");
        original = ReadFile(source);
    }
    // Compacts and returns the error number; the source must be unchanged.
    long Refusal(const std::filesystem::path& destination, std::string* description = nullptr) {
        try {
            jet::CompactFile(source, destination);
        } catch (const Error& e) {
            if (description) *description = e.description();
            EXPECT_EQ(ReadFile(source), original);
            return e.number();
        }
        ADD_FAILURE() << "compaction into " << destination << " succeeded";
        return 0;
    }

    TempDir dir;
    std::filesystem::path source;
    std::string original;
};

TEST_F(CompactFailures, MissingSourceOrNotADatabase) {
    const auto out = dir / "out.mdb";
    EXPECT_EQ((try_number([&] { jet::CompactFile(dir / "absent.mdb", out); })), errc::kFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(out));

    const auto text = dir / "notes.mdb";
    WriteFile(text, std::string(8192, 'x'));
    EXPECT_EQ((try_number([&] { jet::CompactFile(text, out); })), errc::kNotADatabase);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CompactFailures, SourceInUseByAnotherProcess) {
    const auto out = dir / "out.mdb";
    {
        LockHolder product(source, F_WRLCK);
        std::string why;
        EXPECT_EQ(Refusal(out, &why), errc::kInUse);
        EXPECT_NE(why.find("in use"), std::string::npos) << why;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    {
        LockHolder reader(source, F_RDLCK);  // a product that has it open
        EXPECT_EQ(Refusal(out), errc::kInUse);
    }
    {
        // A user of the database through its lock file: the user-lock byte of slot 1.
        const auto ldb = dir / "post_db.ldb";
        WriteFile(ldb, std::string(64, '\0'));
        LockHolder user(ldb, F_WRLCK, jet::kUserLockFirst, 1);
        EXPECT_EQ(Refusal(out), errc::kInUse);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    EXPECT_NO_THROW(jet::CompactFile(source, out)) << "the locks are gone with their processes";
}

TEST_F(CompactFailures, ExistingDestinationIsRefusedAndKept) {
    const auto leftover = dir / "Temp.bk0";
    WriteFile(leftover, "left from an earlier run");
    std::string why;
    EXPECT_EQ(Refusal(leftover, &why), errc::kFileAlreadyExists);
    EXPECT_NE(why.find("already exists"), std::string::npos) << why;
    EXPECT_EQ(ReadFile(leftover), "left from an earlier run");
    EXPECT_EQ(Refusal(source), errc::kFileAlreadyExists) << "onto itself";
}

TEST_F(CompactFailures, MissingFolder) {
    EXPECT_EQ(Refusal(dir / "no such folder" / "out.mdb"), errc::kPathNotFound);
    EXPECT_FALSE(std::filesystem::exists(dir / "no such folder"));
}

TEST_F(CompactFailures, ReadOnlyFolder) {
    const auto folder = dir / "readonly";
    std::optional<SmallFileSystem> fs;
    if (::geteuid() == 0) {
        // Root ignores permission bits: a read-only mount is the real thing.
        fs.emplace(folder, "size=64k", MS_RDONLY);
        if (!fs->mounted()) GTEST_SKIP() << "running as root and cannot mount a read-only tmpfs here";
    } else {
        std::filesystem::create_directory(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    EXPECT_EQ(Refusal(folder / "out.mdb"), errc::kPermissionDenied);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.mdb"));
}

TEST_F(CompactFailures, DiskFullPartWayRemovesThePartialCopy) {
    const auto folder = dir / "small";
    SmallFileSystem fs(folder, "size=256k", 0);
    if (!fs.mounted()) GTEST_SKIP() << "cannot mount a 256 KiB tmpfs (needs root and mount permission)";
    std::string why;
    EXPECT_EQ(Refusal(folder / "out.mdb", &why), errc::kDiskFull);
    EXPECT_NE(why.find("disk is full"), std::string::npos) << why;
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the partial copy must be removed";
}

// Damage that would make rows unreadable or unreachable is refused, never
// compacted away: the copy would otherwise lose those rows without a trace.
// Table1 of overflowTestV2000 has no index to cross-check its rows: its
// definition is page 24 and its seven rows lie on page 27, row 2 through an
// overflow pointer to page 28 row 0.
TEST(CompactDamage, DamageThatCouldLoseRowsIsRefused) {
    constexpr std::size_t kPage = 4096;
    const auto at = [](std::size_t page, std::size_t offset) { return page * kPage + offset; };
    struct Case {
        const char* what;
        std::vector<std::pair<std::size_t, std::string>> patches;  // offset, bytes
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"data page zeroed", {{at(27, 0), std::string(kPage, '\0')}}, "not its data pages"},
        {"torn sector", {{at(27, 0), std::string(512, '\0')}}, "not its data pages"},
        {"cached count above the rows", {{at(24, 16), std::string("\x09", 1)}}, "up to 2 rows may be lost"},
        {"slot offset past the page", {{at(27, 16), "\xff\xdf"}}, "invalid offset"},
        {"overflow pointer into the catalog", {{at(27, 0xf9d), std::string("\x00\x0e\x00\x00", 4)}},
         "another owner"},
        {"overflow body flag cleared", {{at(28, 14), "\xc6\x0f"}}, "live row of its own"},
        {"row shorter than its null mask", {{at(27, 0xfdf), std::string(33, '\xff')}}, "Table1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto source = CopyInto(dir, TestData() / "mdb" / "jet4" / "overflowTestV2000.mdb");
        std::string bytes = ReadFile(source);
        for (const auto& [offset, patch] : c.patches) bytes.replace(offset, patch.size(), patch);
        WriteFile(source, bytes);
        const auto out = dir / "out.mdb";
        try {
            jet::CompactFile(source, out);
            ADD_FAILURE() << "compacted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errc::kCorrupt) << e.description();
            EXPECT_NE(e.description().find(c.reason), std::string::npos) << e.description();
        }
        EXPECT_EQ(ReadFile(source), bytes);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

}  // namespace
}  // namespace dorvane::testing
