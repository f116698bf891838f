#include <gtest/gtest.h>

#include "core/database_kind.h"
#include "core/run_context.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeSettings;

TEST(GetSetting, DefaultOnlyWhenTheKeyIsAbsent) {
    FakeSettings s;
    EXPECT_EQ(GetSetting(s, "Bresk", "Locations", "BKpath", "NA"), "NA");
    EXPECT_EQ(GetSetting(s, "Bresk", "TitleBar", "sqlver", 9), "9");
    EXPECT_EQ(GetSetting(s, "Bresk", "Locations", "APPPATH"), "");
    s.Set("Bresk", "Locations", "BKpath", "");
    EXPECT_EQ(GetSetting(s, "Bresk", "Locations", "BKpath", "NA"), "");  // empty is a value
}

TEST(GetSetting, NamesMatchWithoutRegardToCase) {
    FakeSettings s;
    s.Set("bresk", "locations", "dbpath", "D:\\Data");
    EXPECT_EQ(GetSetting(s, "Bresk", "Locations", "DbPath"), "D:\\Data");
    EXPECT_EQ(GetSetting(s, "BRESK", "LOCATIONS", "DBpath"), "D:\\Data");
}

TEST(SaveSetting, AFailedSaveIsIgnored) {
    FakeSettings s;
    s.throwOnWrite = true;
    EXPECT_NO_THROW(SaveSetting(s, "Bresk", "Locations", "BKpath", "E:\\Bak"));
    s.throwOnWrite = false;
    s.failWrites = true;
    EXPECT_NO_THROW(SaveSetting(s, "Bresk", "Locations", "BKpath", "E:\\Bak"));
    EXPECT_EQ(s.log.size(), 2u);  // both saves were attempted
}

TEST(DatabaseKind, ConvertsPlainWholeNumbersOnly) {
    EXPECT_EQ(ParseDatabaseKind("1"), 1);
    EXPECT_EQ(ParseDatabaseKind("  -3 "), -3);
    EXPECT_EQ(ParseDatabaseKind("+7"), 7);
    EXPECT_EQ(ParseDatabaseKind("32767"), 32767);
    EXPECT_EQ(ParseDatabaseKind("-32768"), -32768);
    for (const char* bad : {"", " ", "abc", "40000", "32768", "-32769", "1.5", "1e2", "0x1", "- 1",
                            "99999999999999999999"}) {
        EXPECT_FALSE(ParseDatabaseKind(bad).has_value()) << "'" << bad << "'";
    }
}

TEST(DatabaseKind, UnconvertibleTextKeepsTheEarlierValue) {
    FakeSettings s;
    RunContext ctx;
    ctx.Product = "Bresk";
    ReadDatabaseKind(s, ctx);
    EXPECT_EQ(ctx.DbKind, 9);  // absent: the default
    s.Set("Bresk", "TitleBar", "sqlver", "1");
    ReadDatabaseKind(s, ctx);
    EXPECT_EQ(ctx.DbKind, 1);
    for (const char* bad : {"", "letters", "40000"}) {
        s.Set("Bresk", "TitleBar", "sqlver", bad);
        ReadDatabaseKind(s, ctx);
        EXPECT_EQ(ctx.DbKind, 1) << bad;
    }
}

}  // namespace
}  // namespace dorvane
