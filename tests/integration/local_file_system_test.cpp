#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "core/error.h"
#include "engines/files/local_file_system.h"
#include "platform/native_path.h"
#include "tests/support/lock_holder.h"
#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::LockHolder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(LocalFileSystem, CopyReplacesTheDestinationAndKeepsItsPermissions) {
    TempDir dir;
    WriteFile(dir / "Temp.bk0", std::string(3 << 20, 'x') + "end");
    WriteFile(dir / "post_db.mdb", "old");
    ::chmod((dir / "post_db.mdb").c_str(), 0640);
    LocalFileSystem fs;
    fs.CopyFile((dir / "Temp.bk0").string(), (dir / "post_db.mdb").string());
    EXPECT_TRUE(ReadFile(dir / "post_db.mdb") == std::string(3 << 20, 'x') + "end");
    struct stat st {};
    ::stat((dir / "post_db.mdb").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"Temp.bk0", "post_db.mdb"}));  // no staging file left
}

TEST(LocalFileSystem, CopyThroughASymbolicLinkReplacesTheFileItNames) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    WriteFile(dir / "real" / "post_db.mdb", "old");
    std::filesystem::create_symlink(dir / "real" / "post_db.mdb", dir / "post_db.mdb");
    WriteFile(dir / "Temp.bk0", "new");
    LocalFileSystem fs;
    fs.CopyFile((dir / "Temp.bk0").string(), (dir / "post_db.mdb").string());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "post_db.mdb"));
    EXPECT_EQ(ReadFile(dir / "real" / "post_db.mdb"), "new");
}

TEST(LocalFileSystem, CopyRefusesADestinationAnotherProcessHolds) {
    TempDir dir;
    WriteFile(dir / "Temp.bk0", "new");
    WriteFile(dir / "post_db.mdb", "old");
    LockHolder product(dir / "post_db.mdb", F_RDLCK, 0x10000001, 1);
    LocalFileSystem fs;
    try {
        fs.CopyFile((dir / "Temp.bk0").string(), (dir / "post_db.mdb").string());
        FAIL() << "copy over a locked file succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kInUse);
        EXPECT_NE(e.description().find("in use"), std::string::npos) << e.description();
    }
    EXPECT_EQ(ReadFile(dir / "post_db.mdb"), "old");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"Temp.bk0", "post_db.mdb"}));
}

TEST(LocalFileSystem, FailuresNameThePathAndChangeNothing) {
    TempDir dir;
    WriteFile(dir / "post_db.mdb", "old");
    LocalFileSystem fs;
    const std::string missing = (dir / "Temp.bk0").string();
    try {
        fs.CopyFile(missing, (dir / "post_db.mdb").string());
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kFileNotFound);
        EXPECT_NE(e.description().find(missing), std::string::npos);
    }
    EXPECT_EQ(ReadFile(dir / "post_db.mdb"), "old");
    EXPECT_THROW(fs.CopyFile((dir / "post_db.mdb").string(), (dir / "no" / "x.mdb").string()), Error);
    EXPECT_THROW(fs.AppendToFile((dir / "no" / "log.txt").string(), "x"), Error);
    EXPECT_NO_THROW(fs.DeleteFile((dir / "absent").string()));
}

TEST(LocalFileSystem, AppendCreatesThenAppends) {
    TempDir dir;
    LocalFileSystem fs;
    fs.AppendToFile((dir / "log.txt").string(), "a\r\n");
    fs.AppendToFile((dir / "log.txt").string(), "b\r\n");
    EXPECT_EQ(ReadFile(dir / "log.txt"), "a\r\nb\r\n");
}

TEST(LocalFileSystem, ListMatchingIgnoresCaseAndOtherFiles) {
    TempDir dir;
    for (const char* name : {"post_db_1.mdb", "POST_DB_2.MDB", "post_db.mdb", "post_db_3.mdb.txt", "other.mdb"}) {
        WriteFile(dir / name, "");
    }
    std::filesystem::create_directory(dir / "post_db_dir.mdb");
    LocalFileSystem fs;
    auto found = fs.ListMatching(dir.path().string(), "post_db_*.mdb");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{dir.path().string() + "\\POST_DB_2.MDB",
                                               dir.path().string() + "\\post_db_1.mdb"}));
    EXPECT_TRUE(fs.ListMatching((dir / "missing").string(), "*").empty());
}

TEST(WildcardMatch, StarsAndQuestionMarks) {
    EXPECT_TRUE(WildcardMatch("post_db_*.mdb", "post_db_.mdb"));
    EXPECT_TRUE(WildcardMatch("post_db_*.mdb", "post_db_1.2.mdb"));
    EXPECT_FALSE(WildcardMatch("post_db_*.mdb", "post_db_1.mdbx"));
    EXPECT_TRUE(WildcardMatch("a?c", "ABC"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
}

TEST(NativePath, DriveLettersGoThroughTheLinkFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir / "data");
    std::filesystem::create_directory_symlink(dir / "data", dir / "c:");
    ::setenv("DORVANE_DOSDEVICES", dir.path().c_str(), 1);
    EXPECT_EQ(ToNativePath("C:\\Zentro\\post_db.mdb"), dir / "c:" / "Zentro/post_db.mdb");
    EXPECT_EQ(ToNativePath("/srv/bresk/post_db.mdb"), "/srv/bresk/post_db.mdb");
    EXPECT_EQ(ToNativePath("\\post_db.mdb"), "/post_db.mdb");
    EXPECT_EQ(ToNativePath("NA\\post_db_1.mdb"), "NA/post_db_1.mdb");
    LocalFileSystem fs;
    fs.AppendToFile("C:\\log.txt", "x");
    EXPECT_EQ(ReadFile(dir / "data" / "log.txt"), "x");
    EXPECT_THROW(fs.AppendToFile("Q:\\log.txt", "x"), Error);  // no link for Q:
    ::unsetenv("DORVANE_DOSDEVICES");
}

}  // namespace
}  // namespace dorvane
