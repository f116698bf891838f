// The Access engine on Windows: a database or lock file a product holds is in use, a stale lock file is not.

#include <gtest/gtest.h>

#include "engines/files/local_file_system.h"
#include "engines/jet/jet_engine.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "platform/windows_api.h"
#include "tests/support/error_of.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {

TEST(JetOnWindows, ADatabaseAProductHoldsIsInUseAndCompactsOnceFree) {
    TempDir dir;
    std::filesystem::copy_file("Z:" DORVANE_TESTDATA "/products/post_db.mdb", dir / "post_db.mdb");  // Z: is /
    WriteFile(dir / "post_db.ldb", "");
    const auto compact = [&] {
        jet::MakeEngine()->CompactDatabase(PathText(dir / "post_db.mdb"), PathText(dir / "Temp.bk0"));
    };
    for (const char* held : {"post_db.mdb", "post_db.ldb"}) {
        const auto product =
            platform::File::OpenClaimed(dir / held, platform::Access::kReadWrite, platform::Use::kShared, {});
        EXPECT_EQ(ErrorOf(compact), errc::kInUse) << held;  // and leaves no copy: the next one succeeds
    }
    EXPECT_EQ(ErrorOf(compact), 0);
    EXPECT_EQ(ErrorOf(compact), errc::kFileAlreadyExists);
}

// A maintenance run's hold keeps a product out from before the compaction
// until the copy is back, while the engine and the copy back join it; the
// replacement needs every handle of this program on the file closed.
TEST(JetOnWindows, AMaintenanceHoldKeepsProductsOutUntilTheCopyIsBack) {
    TempDir dir;
    std::filesystem::copy_file("Z:" DORVANE_TESTDATA "/products/post_db.mdb", dir / "post_db.mdb");
    std::filesystem::permissions(dir / "post_db.mdb", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);  // the test data is read-only
    WriteFile(dir / "post_db.ldb", "");
    const auto productOpens = [&](const char* name) {
        // Access opens its files to read and write, sharing both.
        HANDLE file = ::CreateFileW((dir / name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(file);
        return true;
    };
    const auto engine = jet::MakeEngine();
    const std::string db = PathText(dir / "post_db.mdb");
    {
        const auto hold = engine->HoldDatabase(db);
        EXPECT_FALSE(productOpens("post_db.mdb"));
        EXPECT_EQ(ErrorOf([&] { (void)engine->RepairDatabase(db, PathText(dir / "Temp.bk0")); }), 0);
        EXPECT_FALSE(productOpens("post_db.mdb"));
        EXPECT_FALSE(productOpens("post_db.ldb"));
        LocalFileSystem files;
        EXPECT_EQ(ErrorOf([&] { files.CopyFile(PathText(dir / "Temp.bk0"), db); }), 0);
        EXPECT_TRUE(ReadFile(dir / "post_db.mdb") == ReadFile(dir / "Temp.bk0"));
        EXPECT_FALSE(productOpens("post_db.ldb"));
    }
    EXPECT_TRUE(productOpens("post_db.mdb"));
    EXPECT_TRUE(productOpens("post_db.ldb"));
}

}  // namespace dorvane::testing
