// The companion tool's compact command: a checked copy on success, a clear
// message and exit status 2 on failure, with nothing left behind.

#include <gtest/gtest.h>

#include "tests/jet_compact/test_files.h"

namespace dorvane::testing {
namespace {

#ifdef DORVANE_JET_TOOL
const std::string kTool = DORVANE_JET_TOOL;

TEST(JetToolCompact, CompactsIntoANewCheckedFileAndReportsFailures) {
    TempDir dir;
    const auto source = CopyInto(dir, TestData() / "products" / "post_db.mdb");
    const auto copy = dir / "Temp.bk0";
    const CommandResult run = RunCommand(kTool + " compact " + Quote(source) + " " + Quote(copy) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_LT(std::filesystem::file_size(copy), std::filesystem::file_size(source));
    const CommandResult check = RunCommand(kTool + " check " + Quote(copy) + " 2>&1");
    EXPECT_EQ(check.status, 0) << check.output;

    // A second run finds the copy there and leaves it alone.
    const std::string before = ReadFile(copy);
    const CommandResult again = RunCommand(kTool + " compact " + Quote(source) + " " + Quote(copy) + " 2>&1");
    EXPECT_EQ(WEXITSTATUS(again.status), 2);
    EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
    EXPECT_EQ(ReadFile(copy), before);

    const CommandResult missing =
        RunCommand(kTool + " compact " + Quote(dir / "absent.mdb") + " " + Quote(dir / "out.mdb") + " 2>&1");
    EXPECT_EQ(WEXITSTATUS(missing.status), 2);
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos) << missing.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mdb"));
}
#endif

}  // namespace
}  // namespace dorvane::testing
