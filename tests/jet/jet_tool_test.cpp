// dorvane-jet as administrators use it: each command's exit status and
// output, on real files, a damaged one and a compacted copy.

#include <gtest/gtest.h>

#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

TEST(JetToolTest, CommandsTheirOutputAndExitStatus) {
    TempFolder folder;
    const std::string post = Quote(TestData() / "products/post_db.mdb");
    const fs::path source = folder.Copy(TestData() / "products/post_db.mdb");
    const std::string copy = Quote(folder / "Temp.bk0");
    // Table1's cached row count (9) above its seven rows: rows may be lost.
    Bytes damaged = ReadBytes(TestData() / "mdb/jet4/overflowTestV2000.mdb");
    PutLe32(damaged, 24 * 4096 + 16, 9);
    WriteBytes(folder / "damaged.mdb", damaged);
    const struct {
        std::string arguments;
        int status;
        std::string output;  // all of it, or a part after "..."
    } cases[] = {
        {"export " + post + " DOCLIB", 0,
         "ID,LibCode,DocumentPath,Description\r\n1,lib2,T:\\Scans,Scanned post\r\n"
         "2,lib1,S:\\Docs,Documents of the practice\r\n3,lib3,U:\\Archive,\r\n"},
        {"tables " + post, 0, "doclib\nCustomers\nInvoices\nScans\n"},
        {"tables " + post + " --all", 0, "...MSysObjects\n"},
        {"query " + post + " \"SELECT DocumentPath, LibCode FROM doclib WHERE LibCode='lib3'\"", 0,
         "DocumentPath,LibCode\r\nU:\\Archive,lib3\r\n"},
        {"schema " + Quote(TestData() / "mdb/jet4/testV2000.mdb") + " table1", 0,
         "TABLE Table1 (definition page 24, 9 columns, 2 rows cached)\n  A  Text(100 bytes)  variable  #0\n"
         "  B  Text(200 bytes)  variable  #1\n  C  Byte  #2\n  D  Integer  #3\n  E  Long  #4\n  F  Double  #5\n"
         "  G  Date/Time  #6\n  H  Currency  #7\n  I  Boolean  #8\n  INDEX B (B)\n"
         "  INDEX PrimaryKey (A) PRIMARY KEY UNIQUE\n"},
        {"check " + post, 0, "...\nOK\n"},
        {"check " + Quote(folder / "damaged.mdb"), 1, "...up to 2 rows may be lost"},
        {"compact " + Quote(source) + " " + copy, 0, "...compacted "},
        {"check " + copy, 0, "...\nOK\n"},
        {"compact " + Quote(source) + " " + copy, 2, "...already exists"},
        {"compact " + Quote(folder / "absent.mdb") + " " + Quote(folder / "out.mdb"), 2, "...does not exist"},
        {"--help", 0, "...check FILE"},
        {"frobnicate x", 2, "...unknown command"},
        {"export " + post + " NoSuchTable", 2, "...no table or query named 'NoSuchTable'"},
        {"query " + post + " \"DELETE FROM doclib\"", 2, "...expected SELECT"},
        {"check " + Quote(folder / "absent.mdb"), 2, "...Could not find file"},
    };
    for (const auto& c : cases) {
        const CommandResult run = RunCommand(Quote(DORVANE_JET_TOOL) + " " + c.arguments + " 2>&1");
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        if (c.output.rfind("...", 0) == 0) {
            EXPECT_NE(run.output.find(c.output.substr(3)), std::string::npos) << c.arguments << "\n" << run.output;
        } else {
            EXPECT_EQ(run.output, c.output) << c.arguments;
        }
    }
    EXPECT_FALSE(fs::exists(folder / "out.mdb"));
}

}  // namespace
}  // namespace dorvane::jet
