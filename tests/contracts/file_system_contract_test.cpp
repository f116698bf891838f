// The contract of FileSystem, run against the local file system natively and under Wine.

#include <gtest/gtest.h>

#include <algorithm>

#include "engines/files/local_file_system.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "tests/support/error_of.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {

template <typename Files>
class FileSystemContract : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return PathText(dir_.path()) + "\\" + name; }
    std::vector<std::string> Names() const {  // staging files included
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir_;
    Files files_;
};
TYPED_TEST_SUITE(FileSystemContract, ::testing::Types<LocalFileSystem>);

TYPED_TEST(FileSystemContract, CopyAppendRenameDeleteAndListDoWhatTheySay) {
    auto& files = this->files_;
    const std::string big = std::string(3 << 20, 'n') + "tail";
    WriteFile(this->dir_ / "Temp.bk0", big);
    WriteFile(this->dir_ / "post_db.mdb", "old");
    files.CopyFile(this->At("Temp.bk0"), this->At("post_db.mdb"));
    files.CopyFile(this->At("Temp.bk0"), this->At("POST_DB_1.MDB"));
    EXPECT_TRUE(ReadFile(this->dir_ / "post_db.mdb") == big && ReadFile(this->dir_ / "POST_DB_1.MDB") == big);
    EXPECT_EQ(files.FileSize(this->At("post_db.mdb")), big.size());
    EXPECT_EQ(files.FileSize(this->At("missing.mdb")), std::nullopt);
    files.AppendToFile(this->At("log.txt"), "one\r\n", TextFile::kLog);
    files.AppendToFile(this->At("log.txt"), "two\r\n", TextFile::kLog);
    files.RenameReplace(this->At("log.txt"), this->At("post_db_2.mdb"));
    EXPECT_TRUE(ReadFile(this->dir_ / "post_db_2.mdb") == "one\r\ntwo\r\n" && files.Exists(this->At("post_db_2.mdb")));
    std::filesystem::create_directory(this->dir_ / "post_db_3.mdb");
    EXPECT_EQ(files.FileSize(this->At("post_db_3.mdb")), std::nullopt);             // a folder has no size here
    auto found = files.ListMatching(PathText(this->dir_.path()), "post_db_*.mdb");  // no folders, any case
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{this->At("POST_DB_1.MDB"), this->At("post_db_2.mdb")}));
    EXPECT_TRUE(files.ListMatching(this->At("missing"), "*").empty());
    files.DeleteFile(this->At("post_db_2.mdb"));
    EXPECT_EQ(this->Names(), (std::vector<std::string>{"POST_DB_1.MDB", "Temp.bk0", "post_db.mdb", "post_db_3.mdb"}));
    EXPECT_TRUE(WildcardMatch("post_db_*.mdb", "post_db_1.2.mdb") && WildcardMatch("a?c", "ABC"));
    EXPECT_FALSE(WildcardMatch("post_db_*.mdb", "post_db_1.mdbx") || WildcardMatch("a?c", "ac"));
}

// A product holding a file is played by a platform claim, made as products make theirs.
TYPED_TEST(FileSystemContract, FailuresSayWhyAndChangeNothing) {
    WriteFile(this->dir_ / "post_db.mdb", "old");
    WriteFile(this->dir_ / "Temp.bk0", "new");
    std::filesystem::create_directory(this->dir_ / "folder");
    const auto names = this->Names();
    auto& files = this->files_;
    const struct {
        std::function<void()> action;
        long number;
        const char* said;
    } cases[] = {
        {[&] { files.CopyFile(this->At("none.bk0"), this->At("post_db.mdb")); }, errc::kFileNotFound, "none.bk0"},
        {[&] { files.CopyFile(this->At("Temp.bk0"), this->At("no\\x.mdb")); }, errc::kPathNotFound, "x.mdb"},
        {[&] {
             const auto product = platform::File::OpenClaimed(this->dir_ / "post_db.mdb", platform::Access::kReadWrite,
                                                              platform::Use::kShared, {0x10000001, 1});
             files.CopyFile(this->At("Temp.bk0"), this->At("post_db.mdb"));
         },
         errc::kInUse, "in use"},
        {[&] { files.AppendToFile(this->At("no\\log.txt"), "x", TextFile::kLog); }, errc::kPathNotFound, "log.txt"},
        {[&] { files.RenameReplace(this->At("none.tmp"), this->At("b.mdb")); }, errc::kFileNotFound, "b.mdb"},
        {[&] { files.DeleteFile(this->At("folder")); }, errc::kPermissionDenied, "folder"},
        {[&] { files.DeleteFile(this->At("absent")); }, 0, ""},
        {[&] { files.DeleteFile(this->At("no\\absent")); }, 0, ""},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(ErrorOf(c.action, &why), c.number) << why;
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
    // A copy refused before it took the destination's place says so: the
    // caller may then let its source go.
    for (const char* source : {"none.bk0", "Temp.bk0"}) {
        const auto product = platform::File::OpenClaimed(this->dir_ / "post_db.mdb", platform::Access::kReadWrite,
                                                         platform::Use::kShared, {0x10000001, 1});
        EXPECT_THROW(files.CopyFile(this->At(source), this->At("post_db.mdb")), DestinationUnchanged) << source;
    }
    EXPECT_EQ(ReadFile(this->dir_ / "post_db.mdb"), "old");
    EXPECT_EQ(this->Names(), names);
    EXPECT_FALSE(files.Exists(this->At("absent")) || files.Exists(this->At("folder")));
}

// A file that shrank under its reader is an I/O error, not damage to its content.
TEST(PlatformFile, AFileShortenedWhileOpenIsAnIoError) {
    TempDir dir;
    WriteFile(dir / "post_db.mdb", std::string(8192, 'x'));
    const platform::File file = platform::File::Open(dir / "post_db.mdb", platform::Access::kRead);
    std::filesystem::resize_file(dir / "post_db.mdb", 4096);
    std::vector<std::uint8_t> page(4096);
    EXPECT_EQ(ErrorOf([&] { file.ReadAt(4096, page); }), errc::kIoError);
}

}  // namespace dorvane::testing
