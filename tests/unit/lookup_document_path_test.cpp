#include <gtest/gtest.h>

#include "operations/operations.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

constexpr const char* kQuery = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

TEST(LookupDocumentPath, AccessBackEndGivesTheFirstRow) {
    FakeWorld w;
    w.rt.ctx.Product = "Bresk";
    w.settings.Set("Bresk", "Locations", "DBpath", "D:\\Data");
    w.files.files["D:\\Data\\post_db.mdb"] = "db";
    w.Engine().doclib["D:\\Data\\post_db.mdb"] = {std::string("S:\\Docs"), std::string("S:\\Other")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "S:\\Docs");
    EXPECT_EQ(w.rt.ctx.SqlText, kQuery);
    EXPECT_EQ(w.engine->sqlSeen, std::vector<std::string>{kQuery});
    auto* db = dynamic_cast<testing::FakeDatabase*>(w.rt.ctx.Database.get());
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->closed);
    EXPECT_EQ(w.rt.ctx.DbPath, "");  // not touched
}

TEST(LookupDocumentPath, EveryFailureGivesEmptyText) {
    FakeWorld w;
    w.rt.ctx.Product = "Bresk";
    w.rt.ctx.DbKind = 9;  // not set up: the root's post_db.mdb, which is absent
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    EXPECT_EQ(w.engine->calls.at(0), "open \\post_db.mdb");

    w.files.files["\\post_db.mdb"] = "db";
    w.engine->doclib["\\post_db.mdb"] = {std::nullopt};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");  // Null
    w.engine->doclib["\\post_db.mdb"] = {};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");  // no row
    w.engine->doclib.erase("\\post_db.mdb");
    EXPECT_EQ(LookupDocumentPath(w.rt), "");  // no table
    EXPECT_EQ(w.rt.ctx.SqlText, kQuery);
}

TEST(LookupDocumentPath, SqlServerProductsAskTheServer) {
    FakeWorld w;
    w.rt.ctx.Product = "Alveto";
    w.rt.ctx.DbKind = 1;
    w.settings.Set("Alveto", "Locations", "DbaseName", "PB");
    w.settings.Set("Alveto", "Locations", "SQLServer", "SRV");
    w.sql.rows = {std::string("S:\\Docs")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "S:\\Docs");
    EXPECT_EQ(w.sql.calls, (std::vector<std::string>{"connstr driver={SQL Server};server=SRV;database=PB", "open",
                                                     std::string("rs.open ") + kQuery, "rs.close", "close"}));
    w.sql.rows = {std::nullopt};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    w.sql.rows = {};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    w.sql.openError = "unreachable";
    w.sql.rows = {std::string("S:\\Docs")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
}

TEST(LookupDocumentPath, CindralTakesTheWorkgroupSetting) {
    FakeWorld w;
    w.rt.ctx.Product = "Cindral";
    w.settings.Set("Cindral", "Locations", "DBpath", "D:\\Data");
    w.files.files["D:\\Data\\post_db.mdb"] = "db";
    w.Engine().doclib["D:\\Data\\post_db.mdb"] = {std::string("S:\\Docs")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");  // key absent
    w.settings.Set("Cindral", "Locations", "WORKGROUPPATH", "W:\\Group");
    EXPECT_EQ(LookupDocumentPath(w.rt), "W:\\Group");
}

}  // namespace
}  // namespace dorvane
