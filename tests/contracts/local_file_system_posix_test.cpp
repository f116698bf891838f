// POSIX beyond the contract (full and read-only disks: tests/crash, the compaction's failure tests).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engines/files/local_file_system.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "tests/contracts/error_of.h"
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

TEST(LocalFileSystemPosix, AFolderThatCannotBeFlushedIsAnError) {
    TempDir dir;
    WriteFile(dir / "file", "");
    for (const char* name : {"missing", "file"}) EXPECT_NE(ErrorOf([&] { platform::FlushFolder(dir / name); }), 0);
    EXPECT_EQ(ErrorOf([&] { platform::FlushFolder(dir.path()); }), 0);
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
