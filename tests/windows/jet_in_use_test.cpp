// The Access engine on Windows: a database or lock file a product holds is in use, a stale lock file is not.

#include <gtest/gtest.h>

#include "engines/jet/jet_engine.h"
#include "platform/file.h"
#include "platform/native_path.h"
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

}  // namespace dorvane::testing
