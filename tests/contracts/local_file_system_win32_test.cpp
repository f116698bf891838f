// Windows beyond the contract: a replacement the system refuses changes nothing.

#include <gtest/gtest.h>

#include "engines/files/local_file_system.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "platform/windows_api.h"
#include "tests/support/error_of.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {

TEST(LocalFileSystemWin32, AReplacementTheSystemRefusesChangesNothing) {
    TempDir dir;
    const auto target = dir / "post_db.mdb";
    const auto copy = [&] { LocalFileSystem().CopyFile(PathText(dir / "Temp.bk0"), PathText(target)); };
    WriteFile(target, "old");
    WriteFile(dir / "Temp.bk0", "new");
    ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ErrorOf(copy), errc::kPermissionDenied);  // refused by the claim
    ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL));
    {  // a reader passes the claim (it does not write) and meets ReplaceFileW
        const auto reader = platform::File::Open(target, platform::Access::kRead);
        EXPECT_EQ(ErrorOf(copy), errc::kInUse);
    }
    EXPECT_TRUE(ReadFile(target) == "old" && !std::filesystem::exists(platform::StagingPathFor(target)));
}

}  // namespace dorvane::testing
