// POSIX beyond the contract (full and read-only disks: tests/crash, the compaction's failure tests).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "engines/files/local_file_system.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "tests/support/error_of.h"
#include "tests/support/lock_holder.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {

namespace fs = std::filesystem;

TEST(LocalFileSystemPosix, AReplacedFileKeepsItsModeOwnerAndPlace) {
    TempDir dir;
    const fs::path real = dir / "real.mdb";
    WriteFile(real, "old");
    fs::create_symlink(real, dir / "post_db.mdb");
    const uid_t owner = ::geteuid() == 0 ? 1234 : ::geteuid();  // only root can give a file away
    const gid_t group = ::geteuid() == 0 ? 4321 : ::getegid();
    ASSERT_EQ(::chown(real.c_str(), owner, group) | ::chmod(real.c_str(), 0664), 0);
    WriteFile(dir / "Temp.bk0", "new");
    LocalFileSystem().CopyFile((dir / "Temp.bk0").string(), (dir / "post_db.mdb").string());
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "post_db.mdb") && ReadFile(real) == "new");
    EXPECT_EQ(info.st_mode & 07777, 0664u);  // group-writable, which a umask would take away
    EXPECT_TRUE(info.st_uid == owner && info.st_gid == group);
}

// A whole-file lock (flock) counts as a byte-range lock does, both ways: a
// shared one keeps exclusive use out, an exclusive one every claim; and our
// claims keep another program's flock out in turn.
TEST(LocalFileSystemPosix, AWholeFileLockIsUseAsAByteRangeLockIs) {
    using platform::Access, platform::Use, platform::File;
    TempDir dir;
    const fs::path file = dir / "post_db.mdb";
    WriteFile(file, "held");
    WriteFile(dir / "Temp.bk0", "new");
    for (const auto kind : {LockHolder::WholeFile::kShared, LockHolder::WholeFile::kExclusive}) {
        const bool exclusive = kind == LockHolder::WholeFile::kExclusive;
        SCOPED_TRACE(exclusive ? "exclusive flock" : "shared flock");
        const LockHolder product(file, kind);
        EXPECT_EQ(File::OpenClaimed(file, Access::kRead, Use::kShared, platform::kWholeFile).has_value(), !exclusive);
        EXPECT_FALSE(File::OpenClaimed(file, Access::kReadWrite, Use::kExclusive, platform::kWholeFile));
        EXPECT_FALSE(File::OpenClaimed(file, Access::kRead, Use::kExclusive, platform::kWholeFile));
        EXPECT_EQ(ErrorOf([&] { LocalFileSystem().CopyFile((dir / "Temp.bk0").string(), file.string()); }),
                  errc::kInUse);
        EXPECT_EQ(ReadFile(file), "held");
    }
    {
        const auto shared = File::OpenClaimed(file, Access::kRead, Use::kShared, platform::kWholeFile);
        ASSERT_TRUE(shared);
        EXPECT_NO_THROW(LockHolder(file, LockHolder::WholeFile::kShared));
        EXPECT_THROW(LockHolder(file, LockHolder::WholeFile::kExclusive), std::runtime_error);
    }
    const auto exclusive = File::OpenClaimed(file, Access::kReadWrite, Use::kExclusive, platform::kWholeFile);
    ASSERT_TRUE(exclusive);
    EXPECT_THROW(LockHolder(file, LockHolder::WholeFile::kShared), std::runtime_error);
}

TEST(LocalFileSystemPosix, AFolderThatCannotBeFlushedIsAnError) {
    TempDir dir;
    WriteFile(dir / "file", "");
    for (const char* name : {"missing", "file"}) EXPECT_NE(ErrorOf([&] { platform::FlushFolder(dir / name); }), 0);
    EXPECT_EQ(ErrorOf([&] { platform::FlushFolder(dir.path()); }), 0);
}

// Failures name files as the caller gave them, the files beside them (a copy
// being written) too; never as the link folder makes them.
TEST(LocalFileSystemPosix, FailuresNamePathsAsGivenNotAsMapped) {
    TempDir dir;
    fs::create_directories(dir / "links");
    fs::create_directory_symlink(dir.path(), dir / "links" / "d:");
    ::setenv("DORVANE_DOSDEVICES", (dir / "links").c_str(), 1);
    WriteFile(dir / "new.mdb", "new");
    fs::create_directories(dir / ".post_db.mdb.dorvane-copy" / "in the way");
    LocalFileSystem files;
    const struct {
        std::function<void()> action;
        const char* said;
    } cases[] = {
        {[&] { files.CopyFile("D:\\missing.mdb", "D:\\post_db.mdb"); }, "\"D:\\missing.mdb\": the file does not exist"},
        {[&] { files.CopyFile("D:\\new.mdb", "D:\\no\\post_db.mdb"); }, "\"D:\\no\\post_db.mdb\": the folder does not"},
        {[&] { files.CopyFile("D:\\new.mdb", "D:\\post_db.mdb"); },
         "\"D:\\.post_db.mdb.dorvane-copy\": a file of that"},
        {[&] { files.AppendToFile("d:/no/log.txt", "x", TextFile::kLog); }, "\"d:/no/log.txt\": the folder does not"},
        {[&] { files.RenameReplace("D:\\none.tmp", "D:\\b.mdb"); }, "rename \"none.tmp\" to \"D:\\b.mdb\""},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_NE(ErrorOf(c.action, &why), 0);
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
        EXPECT_EQ(why.find("links"), std::string::npos) << why;
    }
    ::unsetenv("DORVANE_DOSDEVICES");
}

TEST(NativePath, DriveLettersGoThroughTheLinkFolderAndOtherPathsOnlyTurnTheirSlashes) {
    ::setenv("DORVANE_DOSDEVICES", "/links", 1);
    EXPECT_EQ(ToNativePath("C:\\Zentro\\x.mdb"), fs::path("/links/c:/Zentro/x.mdb"));
    EXPECT_EQ(ToNativePath("c:x.mdb"), fs::path("/links/c:/x.mdb"));
    EXPECT_EQ(ToNativePath("\\srv\\x.mdb"), fs::path("/srv/x.mdb"));
    EXPECT_EQ(ToNativePath("NA\\x.mdb"), fs::path("NA/x.mdb"));
    ::unsetenv("DORVANE_DOSDEVICES");
}

}  // namespace dorvane::testing
