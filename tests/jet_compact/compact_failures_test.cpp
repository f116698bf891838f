// Each refusal leaves the source as it was and no destination behind:
// missing source, not a database, source in use, destination already there,
// missing or read-only folder, and a disk that fills up part-way.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "core/error.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact.h"
#include "engines/jet/page_file.h"
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

TEST(CompactDamage, DamageInsideARowIsCarriedNotAdded) {
    // The last byte of page 28 of this file is the null mask of a row of
    // MSysModules2; one more bit set claims a value its fixed area lacks.
    TempDir dir;
    const auto source = CopyInto(dir, TestData() / "mdb" / "jet3" / "test2V1997.mdb");
    std::string bytes = ReadFile(source);
    bytes[28 * 2048 + 2047] = 0x38;
    WriteFile(source, bytes);
    const auto out = dir / "out.mdb";
    ASSERT_NO_THROW(jet::CompactFile(source, out));
    EXPECT_EQ(ReadFile(source), bytes);
    const auto problems = [](const std::filesystem::path& f) {
        return jet::CheckDatabase(jet::PageFile::Open(f)).problems;
    };
    const auto before = problems(source);
    ASSERT_EQ(before.size(), 1U);
    EXPECT_NE(before.front().find("MSysModules2"), std::string::npos) << before.front();
    EXPECT_EQ(problems(out), before);
}

}  // namespace
}  // namespace dorvane::testing
