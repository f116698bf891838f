#pragma once
// The contract of FileDatabaseEngine, as the operations rely on it. A
// fixture gives `engine`, `Path(name)` (a path as the operations build it),
// `MakeDatabase(name, doclib)` (a database whose doclib table holds these
// DocumentPath values for LibCode 'lib1', or no doclib table), and
// `Content(name)` (what the file holds, to see it unchanged; empty when it
// does not exist).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/components/file_database_engine.h"
#include "core/error.h"
#include "tests/support/error_of.h"

namespace dorvane::testing {

using DocLibRows = std::optional<std::vector<std::optional<std::string>>>;

template <typename Fixture>
class FileDatabaseEngineContract : public ::testing::Test {
protected:
    Fixture fixture_;
    FileDatabaseEngine& engine_ = fixture_.engine();
};
TYPED_TEST_SUITE_P(FileDatabaseEngineContract);

TYPED_TEST_P(FileDatabaseEngineContract, CompactsAndRepairsIntoANewFileAndLeavesTheSourceAsItWas) {
    auto& f = this->fixture_;
    f.MakeDatabase("post_db.mdb", std::vector<std::optional<std::string>>{"S:\\Docs"});
    const std::string before = f.Content("post_db.mdb");
    this->engine_.CompactDatabase(f.Path("post_db.mdb"), f.Path("Temp.bk0"));
    EXPECT_FALSE(f.Content("Temp.bk0").empty());
    const RepairLoss loss = this->engine_.RepairDatabase(f.Path("post_db.mdb"), f.Path("Temp.bk1"));
    EXPECT_FALSE(loss.any()) << loss.summary;
    EXPECT_FALSE(f.Content("Temp.bk1").empty());
    EXPECT_EQ(f.Content("post_db.mdb"), before);
}

TYPED_TEST_P(FileDatabaseEngineContract, RefusesAMissingSourceAndADestinationThatExists) {
    auto& f = this->fixture_;
    f.MakeDatabase("post_db.mdb", std::nullopt);
    f.MakeDatabase("Temp.bk0", std::nullopt);
    const std::string taken = f.Content("Temp.bk0");
    FileDatabaseEngine& engine = this->engine_;
    EXPECT_EQ(ErrorOf([&] { engine.CompactDatabase(f.Path("missing.mdb"), f.Path("new.mdb")); }), errc::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { (void)engine.RepairDatabase(f.Path("missing.mdb"), f.Path("new.mdb")); }),
              errc::kFileNotFound);
    EXPECT_EQ(f.Content("new.mdb"), "");
    EXPECT_EQ(ErrorOf([&] { engine.CompactDatabase(f.Path("post_db.mdb"), f.Path("Temp.bk0")); }),
              errc::kFileAlreadyExists);
    EXPECT_EQ(ErrorOf([&] { (void)engine.RepairDatabase(f.Path("post_db.mdb"), f.Path("Temp.bk0")); }),
              errc::kFileAlreadyExists);
    EXPECT_EQ(f.Content("Temp.bk0"), taken);
    EXPECT_EQ(ErrorOf([&] { (void)engine.OpenDatabase(f.Path("missing.mdb")); }), errc::kFileNotFound);
}

// The document-library lookup: the first row's value, Null apart from
// empty text, no row, no such table, no such field, a closed database.
TYPED_TEST_P(FileDatabaseEngineContract, AnswersTheDocumentLibraryQuery) {
    auto& f = this->fixture_;
    const std::string sql = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";
    const auto first = [&](const std::string& name) {
        const auto db = this->engine_.OpenDatabase(f.Path(name));
        auto query = db->CreateQueryDef("");
        query->SetSQL(sql);
        auto rows = query->OpenRecordset();
        rows->MoveFirst();
        const FieldValue value = rows->Field("DocumentPath");
        rows->Close();
        db->Close();
        return value;
    };
    f.MakeDatabase("two.mdb", std::vector<std::optional<std::string>>{"S:\\Docs", "S:\\Other"});
    f.MakeDatabase("null.mdb", std::vector<std::optional<std::string>>{std::nullopt});
    f.MakeDatabase("empty.mdb", std::vector<std::optional<std::string>>{""});
    f.MakeDatabase("none.mdb", std::vector<std::optional<std::string>>{});
    f.MakeDatabase("no-table.mdb", std::nullopt);
    EXPECT_EQ(first("two.mdb").text, "S:\\Docs");
    EXPECT_TRUE(first("null.mdb").is_null);
    const FieldValue empty = first("empty.mdb");
    EXPECT_TRUE(!empty.is_null && empty.text.empty());
    EXPECT_EQ(ErrorOf([&] { first("none.mdb"); }), errc::kNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { first("no-table.mdb"); }), errc::kItemNotFound);

    const auto db = this->engine_.OpenDatabase(f.Path("two.mdb"));
    auto query = db->CreateQueryDef("");
    query->SetSQL(sql);
    auto rows = query->OpenRecordset();
    rows->MoveFirst();
    EXPECT_EQ(ErrorOf([&] { rows->Field("NoSuchField"); }), errc::kItemNotFound);
    db->Close();
    EXPECT_NE(ErrorOf([&] { db->CreateQueryDef(""); }), 0);
}

REGISTER_TYPED_TEST_SUITE_P(FileDatabaseEngineContract, CompactsAndRepairsIntoANewFileAndLeavesTheSourceAsItWas,
                            RefusesAMissingSourceAndADestinationThatExists, AnswersTheDocumentLibraryQuery);

}  // namespace dorvane::testing
