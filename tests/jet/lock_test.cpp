// "In use" as another process shows it: byte-range locks on the database or
// on its lock file, taken by a child process. Readers are kept out only by an
// exclusive holder; an exclusive hold is refused by any lock at all.

#include <gtest/gtest.h>

#include <fcntl.h>

#include "engines/jet/database.h"
#include "engines/jet/lock.h"
#include "tests/jet/test_files.h"
#include "tests/support/lock_holder.h"

namespace dorvane::jet {
namespace {

using namespace testing;
using LockingChild = dorvane::testing::LockHolder;  // throws when it cannot lock

class LockTest : public ::testing::Test {
protected:
    TempFolder folder_;
    fs::path db_ = folder_.Copy(TestData() / "products/post_db.mdb");
    fs::path ldb_ = folder_ / "post_db.ldb";
};

TEST_F(LockTest, WhatEachLockInAnotherProcessKeepsOut) {
    WriteBytes(ldb_, Bytes(64, 'x'));
    const struct {
        const char* what;
        fs::path file;
        short type;
        off_t start, length;
        long open;  // error of opening to read; rewriting is always refused
    } cases[] = {
        {"exclusive holder", db_, F_WRLCK, 0, 0, errc::kInUse},
        {"write lock on one data byte", db_, F_WRLCK, 4096, 1, errc::kInUse},
        {"another reader", db_, F_RDLCK, 0, 0, 0},
        {"user lock of slot 3 on the database", db_, F_WRLCK, kUserLockFirst + 2, 1, 0},
        {"user lock in the lock file", ldb_, F_WRLCK, kUserLockFirst, 1, 0},
    };
    for (const auto& c : cases) {
        LockingChild child(c.file, c.type, c.start, c.length);
        EXPECT_EQ(ErrorNumberOf([&] { JetDatabase::Open(db_); }), c.open) << c.what;
        EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse) << c.what;
    }
    // A stale lock file without locks does not count.
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), 0);
    EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(folder_ / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { ReadHold::Acquire(folder_ / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(LockFilePath("/x/y/Bresk.mde"), fs::path("/x/y/Bresk.ldb"));
}

TEST_F(LockTest, HoldsAreSeenAcrossProcessesAndReleasedOnClose) {
    {
        const ExclusiveHold hold = ExclusiveHold::Acquire(db_);
        // A child process trying to read-lock the data is refused.
        EXPECT_THROW(LockingChild(db_, F_RDLCK, 0, 4096), std::runtime_error);
        EXPECT_FALSE(fs::exists(ldb_)) << "holding must not create a lock file";
    }
    {
        const JetDatabase open = JetDatabase::Open(db_);
        EXPECT_THROW(LockingChild(db_, F_WRLCK, 0, 1), std::runtime_error);
#ifdef F_OFD_SETLK
        // Open-file-description locks: a reader in this process stops rewriting too.
        EXPECT_EQ(ErrorNumberOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
#endif
    }
    EXPECT_NO_THROW(LockingChild(db_, F_WRLCK, 0, 1));
}

}  // namespace
}  // namespace dorvane::jet
