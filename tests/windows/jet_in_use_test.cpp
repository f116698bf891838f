// The built-in Access engine on Windows: a database that a product holds open
// (a sharing-mode open, or its lock file held) is refused as in use, and
// compacts once it is free.

#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "engines/jet/jet_engine.h"
#include "engines/files/local_file_system.h"
#include "tests/windows/temp_folder.h"

namespace dorvane {
namespace {

using wintest::TempFolder;

// The read-only test data as a path of the Wine machine (drive Z: is /).
std::string TestData(const std::string& relative) {
    std::string path = std::string("Z:") + DORVANE_TESTDATA + "/" + relative;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

class OpenLikeAProduct {
public:
    explicit OpenLikeAProduct(const std::string& path)
        : h_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~OpenLikeAProduct() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    OpenLikeAProduct(const OpenLikeAProduct&) = delete;
    OpenLikeAProduct& operator=(const OpenLikeAProduct&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

long CompactError(FileDatabaseEngine& engine, const std::string& from, const std::string& to) {
    try {
        engine.CompactDatabase(from, to);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(JetOnWindows, ADatabaseOpenInAProductIsInUseAndCompactsOnceFree) {
    TempFolder dir;
    LocalFileSystem files;
    const std::string db = dir.File("post_db.mdb");
    files.CopyFile(TestData("products/post_db.mdb"), db);
    auto engine = jet::MakeEngine();
    {
        OpenLikeAProduct product(db);
        ASSERT_TRUE(product.valid());
        EXPECT_EQ(CompactError(*engine, db, dir.File("Temp.bk0")), errc::kInUse);
        EXPECT_FALSE(files.Exists(dir.File("Temp.bk0")));
    }
    {
        OpenLikeAProduct lockFile(dir.File("post_db.ldb"));  // a user's lock file held open
        ASSERT_TRUE(lockFile.valid());
        EXPECT_EQ(CompactError(*engine, db, dir.File("Temp.bk0")), errc::kInUse);
        EXPECT_FALSE(files.Exists(dir.File("Temp.bk0")));
    }
    EXPECT_EQ(CompactError(*engine, db, dir.File("Temp.bk0")), 0);
    EXPECT_TRUE(files.Exists(dir.File("Temp.bk0")));
    EXPECT_EQ(CompactError(*engine, db, dir.File("Temp.bk0")), errc::kFileAlreadyExists);
}

}  // namespace
}  // namespace dorvane
