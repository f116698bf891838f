// The Win32 file operations: copies that replace only when complete, refusal
// of files another program holds open, and clear errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "core/error.h"
#include "engines/files/local_file_system.h"
#include "tests/windows/temp_folder.h"

namespace dorvane {
namespace {

using wintest::TempFolder;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(std::filesystem::path(WideFromAnsi(path)), std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(std::filesystem::path(WideFromAnsi(path)), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Holds a file open the way a product holding a database does: no sharing.
class OpenedElsewhere {
public:
    explicit OpenedElsewhere(const std::string& path, DWORD share = 0)
        : h_(CreateFileW(WideFromAnsi(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~OpenedElsewhere() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    OpenedElsewhere(const OpenedElsewhere&) = delete;
    OpenedElsewhere& operator=(const OpenedElsewhere&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

long ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().empty());
        return e.number();
    }
    return 0;
}

TEST(Win32FileSystem, CopyReplacesTheDestinationAndLeavesNoStagingFile) {
    TempFolder dir;
    LocalFileSystem files;
    WriteText(dir.File("Temp.bk0"), std::string(3 << 20, 'n') + "tail");
    WriteText(dir.File("Bresk.mde"), "old");
    files.CopyFile(dir.File("Temp.bk0"), dir.File("Bresk.mde"));
    EXPECT_EQ(ReadText(dir.File("Bresk.mde")), std::string(3 << 20, 'n') + "tail");
    EXPECT_EQ(ReadText(dir.File("Temp.bk0")).size(), (3u << 20) + 4);
    EXPECT_EQ(files.ListMatching(dir.Text(), "*").size(), 2u);

    files.CopyFile(dir.File("Temp.bk0"), dir.File("new.mdb"));  // no destination yet
    EXPECT_TRUE(files.Exists(dir.File("new.mdb")));
}

TEST(Win32FileSystem, CopyRefusesADestinationThatIsOpenElsewhereAndKeepsIt) {
    TempFolder dir;
    LocalFileSystem files;
    WriteText(dir.File("Temp.bk0"), "new content");
    WriteText(dir.File("post_db.mdb"), "in use");
    {
        OpenedElsewhere product(dir.File("post_db.mdb"), FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(product.valid());
        EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile(dir.File("Temp.bk0"), dir.File("post_db.mdb")); }),
                  errc::kInUse);
    }
    EXPECT_EQ(ReadText(dir.File("post_db.mdb")), "in use");
    EXPECT_EQ(files.ListMatching(dir.Text(), "*").size(), 2u);
    files.CopyFile(dir.File("Temp.bk0"), dir.File("post_db.mdb"));  // free again
    EXPECT_EQ(ReadText(dir.File("post_db.mdb")), "new content");
}

TEST(Win32FileSystem, MissingFilesAndFoldersGiveClearErrors) {
    TempFolder dir;
    LocalFileSystem files;
    WriteText(dir.File("keep.mdb"), "keep");
    EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile(dir.File("none.bk0"), dir.File("keep.mdb")); }),
              errc::kFileNotFound);
    EXPECT_EQ(ReadText(dir.File("keep.mdb")), "keep");
    EXPECT_EQ(ErrorNumberOf([&] { files.AppendToFile(dir.File("no\\such\\log.txt"), "x"); }),
              errc::kPathNotFound);
    EXPECT_FALSE(files.Exists(dir.File("none.bk0")));
    EXPECT_FALSE(files.Exists(dir.Text()));  // a folder is not a file
}

TEST(Win32FileSystem, DeleteIgnoresMissingFilesButNotOpenOnes) {
    TempFolder dir;
    LocalFileSystem files;
    files.DeleteFile(dir.File("none.txt"));
    files.DeleteFile(dir.File("no\\folder\\none.txt"));
    WriteText(dir.File("post_db_1.mdb"), "x");
    {
        OpenedElsewhere holder(dir.File("post_db_1.mdb"));
        ASSERT_TRUE(holder.valid());
        EXPECT_NE(ErrorNumberOf([&] { files.DeleteFile(dir.File("post_db_1.mdb")); }), 0);
    }
    files.DeleteFile(dir.File("post_db_1.mdb"));
    EXPECT_FALSE(files.Exists(dir.File("post_db_1.mdb")));
}

TEST(Win32FileSystem, AppendsBytesAsGivenAndListsByPatternIgnoringCase) {
    TempFolder dir;
    LocalFileSystem files;
    files.AppendToFile(dir.File("Dorvane_log.txt"), "one\r\n");
    files.AppendToFile(dir.File("Dorvane_log.txt"), "two\r\n");
    EXPECT_EQ(ReadText(dir.File("Dorvane_log.txt")), "one\r\ntwo\r\n");

    WriteText(dir.File("POST_DB_20240101.MDB"), "a");
    WriteText(dir.File("post_db.mdb"), "b");
    const auto found = files.ListMatching(dir.Text(), "post_db_*.mdb");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], dir.File("POST_DB_20240101.MDB"));
    EXPECT_TRUE(files.ListMatching(dir.File("missing"), "*").empty());

    files.RenameReplace(dir.File("post_db.mdb"), dir.File("Dorvane_log.txt"));
    EXPECT_EQ(ReadText(dir.File("Dorvane_log.txt")), "b");
}

}  // namespace
}  // namespace dorvane
