// "In use" as another process shows it: byte-range locks on the database or
// on its lock file, taken by a child process. Readers are kept out only by an
// exclusive holder; an exclusive hold is refused by any lock at all.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "core/error.h"
#include "engines/jet/database.h"
#include "engines/jet/lock.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::ProductFile;
using testing::TempFolder;

long ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}

// A child process that holds one classic fcntl lock until destroyed.
class LockingChild {
public:
    LockingChild(const std::filesystem::path& file, short type, off_t start, off_t length) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(file.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
            struct flock lock {};
            lock.l_type = type;
            lock.l_whence = SEEK_SET;
            lock.l_start = start;
            lock.l_len = length;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
            char ignored = 0;
            (void)!::read(release[0], &ignored, 1);  // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 'n';
        if (::read(ready[0], &ok, 1) != 1) ok = 'n';
        ::close(ready[0]);
        locked_ = ok == 'y';
    }
    ~LockingChild() {
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    LockingChild(const LockingChild&) = delete;
    LockingChild& operator=(const LockingChild&) = delete;
    bool locked() const { return locked_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

class LockTest : public ::testing::Test {
protected:
    TempFolder folder_;
    std::filesystem::path db_ = folder_.Copy(ProductFile("post_db.mdb"));
    std::filesystem::path ldb_ = folder_.path() / "post_db.ldb";
};

TEST_F(LockTest, AnExclusiveHolderKeepsReadersAndRewritersOut) {
    LockingChild child(db_, F_WRLCK, 0, 0);
    ASSERT_TRUE(child.locked());
    EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), errc::kInUse);
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
}

TEST_F(LockTest, AWriteLockOnOneByteOfTheDataKeepsReadersOut) {
    LockingChild child(db_, F_WRLCK, 4096, 1);
    ASSERT_TRUE(child.locked());
    EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), errc::kInUse);
}

TEST_F(LockTest, AnotherReaderOrAProductsUserLockOnlyStopsRewriting) {
    {
        LockingChild reader(db_, F_RDLCK, 0, 0);
        ASSERT_TRUE(reader.locked());
        EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), 0);
        EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
    }
    {
        // Jet's user lock for slot 3, placed on the database itself.
        LockingChild user(db_, F_WRLCK, kUserLockFirst + 2, 1);
        ASSERT_TRUE(user.locked());
        EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), 0);
        EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
    }
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), 0);
}

TEST_F(LockTest, AUserLockInTheLockFileMeansInUse) {
    std::ofstream(ldb_) << std::string(64, 'x');
    {
        LockingChild user(ldb_, F_WRLCK, kUserLockFirst, 1);
        ASSERT_TRUE(user.locked());
        EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
        EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), 0);
    }
    // A stale lock file without locks does not count.
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), 0);
}

TEST_F(LockTest, HoldsAreSeenAcrossProcessesAndReleasedOnClose) {
    {
        const ExclusiveHold hold = ExclusiveHold::Acquire(db_);
        // A child process trying to read-lock the data is refused.
        LockingChild reader(db_, F_RDLCK, 0, 4096);
        EXPECT_FALSE(reader.locked());
        if (std::filesystem::exists(ldb_)) FAIL() << "holding must not create a lock file";
    }
    {
        const JetDatabase open = JetDatabase::Open(db_);
        LockingChild writer(db_, F_WRLCK, 0, 1);
        EXPECT_FALSE(writer.locked());
    }
    LockingChild writer(db_, F_WRLCK, 0, 1);
    EXPECT_TRUE(writer.locked());
}

#ifdef F_OFD_SETLK
TEST_F(LockTest, AnOpenReaderInThisProcessStopsRewriting) {
    const JetDatabase open = JetDatabase::Open(db_);
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
}
#endif

TEST_F(LockTest, MissingDatabaseIsNotFound) {
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(folder_.path() / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { ReadHold::Acquire(folder_.path() / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(LockFilePath("/x/y/Bresk.mde"), std::filesystem::path("/x/y/Bresk.ldb"));
}

}  // namespace
}  // namespace dorvane::jet
#endif  // _WIN32
