// The engine as the document-library lookup uses it, "in use" as another process
// shows it (byte-range locks on the database or its lock file), and dorvane-jet.

#include "engines/files/local_file_system.h"
#include "engines/jet/jet_engine.h"
#include "engines/jet/query.h"
#include "tests/jet/test_files.h"

#ifndef _WIN32
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "tests/support/lock_holder.h"
#endif

namespace dorvane::jet {
namespace {

using namespace testing;

constexpr const char* kLookup = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

TEST(SelectParserTest, AcceptsTheLookupsFormAndRefusesEverythingElse) {
    const SelectQuery q = ParseSelect("select [Document Path], b from [my table] where a = 'it''s' and [c d] = \"x\";");
    EXPECT_EQ(q.columns, (std::vector<std::string>{"Document Path", "b"}));
    EXPECT_EQ(q.table, "my table");
    EXPECT_EQ(q.conditions, (std::vector<std::pair<std::string, std::string>>{{"a", "it's"}, {"c d", "x"}}));
    EXPECT_TRUE(ParseSelect("SELECT * FROM t").columns.empty());
    for (const char* sql :
         {"", "DELETE FROM doclib", "SELECT FROM doclib", "SELECT a FROM", "SELECT a, FROM t",
          "SELECT a FROM t WHERE a > 'x'", "SELECT a FROM t WHERE a = 1", "SELECT a FROM t WHERE a = 'x' OR b = 'y'",
          "SELECT a FROM t ORDER BY a", "SELECT a FROM t WHERE a = 'open", "SELECT [a FROM t", "SELECT a FROM t; DROP"})
        EXPECT_EQ(ErrorOf([&] { ParseSelect(sql); }), errc::kSyntax) << sql;
}

// The lookup's steps: the value found, "<Null>", or the error that stops it.
std::string Lookup(FileDatabaseEngine& engine, const std::string& path, const std::string& sql) {
    try {
        auto db = engine.OpenDatabase(path);
        auto query = db->CreateQueryDef("");
        query->SetSQL(sql);
        auto records = query->OpenRecordset();
        records->MoveFirst();
        const FieldValue value = records->Field("DocumentPath");
        records->Close();
        db->Close();
        return value.is_null ? "<Null>" : value.text;
    } catch (const Error& error) {
        return "error " + std::to_string(error.number());
    }
}

std::string Failed(long error) { return "error " + std::to_string(error); }

class EngineTest : public ::testing::Test {
protected:
#ifdef _WIN32
    void SetUp() override { fs::create_directories(folder_ / "c/Bresk"); }
    std::string Product(const std::string& name) const { return (folder_ / "c/Bresk" / name).string(); }
#else
    void SetUp() override {
        // Drive C: of the products' paths maps to the temporary folder.
        fs::create_directories(folder_ / "dosdevices");
        fs::create_directory_symlink(folder_ / "c", folder_ / "dosdevices" / "c:");
        fs::create_directories(folder_ / "c/Bresk");
        ::setenv("DORVANE_DOSDEVICES", (folder_ / "dosdevices").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("DORVANE_DOSDEVICES"); }
    std::string Product(const std::string& name) const { return "C:\\Bresk\\" + name; }
#endif
    std::string Place(const std::string& product_file) {
        Copy(folder_, TestData() / "products" / product_file, "c/Bresk/post_db.mdb");
        return Product("post_db.mdb");
    }
    TempFolder folder_;
    std::unique_ptr<FileDatabaseEngine> engine_ = MakeEngine();
};

TEST_F(EngineTest, LookupsAndTheirErrors) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"post_db.mdb", kLookup, "S:\\Docs"},
        {"doclib-two.mdb", kLookup, "S:\\Docs"},
        {"no-doclib.mdb", kLookup, Failed(errc::kItemNotFound)},
        {"doclib-none.mdb", kLookup, Failed(errc::kNoCurrentRecord)},
        {"doclib-null.mdb", kLookup, "<Null>"},
        {"post_db.mdb", "SELECT Nope FROM doclib", Failed(errc::kItemNotFound)},
        {"post_db.mdb", "UPDATE doclib SET x = 1", Failed(errc::kSyntax)},
        // Conditions ignore case and combine.
        {"post_db.mdb", "select documentpath from DOCLIB where libcode = 'LIB3'", "U:\\Archive"},
        {"post_db.mdb", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND DocumentPath='t:\\scans'",
         "T:\\Scans"},
        {"post_db.mdb", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND LibCode='lib1'",
         Failed(errc::kNoCurrentRecord)},
        // Without a condition the stored order decides the first row.
        {"post_db.mdb", "SELECT * FROM doclib", "T:\\Scans"},
    };
    for (const auto& [product, sql, expected] : cases)
        EXPECT_EQ(Lookup(*engine_, Place(product), sql), expected) << product << ": " << sql;
    EXPECT_EQ(Lookup(*engine_, Product("missing.mdb"), kLookup), Failed(errc::kFileNotFound));
#ifndef _WIN32
    EXPECT_EQ(Lookup(*engine_, "Q:\\nowhere\\post_db.mdb", kLookup), Failed(errc::kFileNotFound));
#endif
}

TEST_F(EngineTest, ClosedObjectsFailCleanly) {
    auto db = engine_->OpenDatabase(Place("post_db.mdb"));
    auto query = db->CreateQueryDef("");
    query->SetSQL(kLookup);
    auto records = query->OpenRecordset();
    EXPECT_EQ(ErrorOf([&] { records->Field("Missing"); }), errc::kItemNotFound);
    records->Close();
    db->Close();
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { records->MoveFirst(); }, [&] { query->OpenRecordset(); }, [&] { db->CreateQueryDef(""); }})
        EXPECT_NE(ErrorOf(use), 0);
    EXPECT_EQ(ErrorOf([&] { engine_->OpenDatabase(Place("post_db.mdb"))->CreateQueryDef("saved"); }),
              errc::kNotAvailable);
}

#ifndef _WIN32
using LockingChild = dorvane::testing::LockHolder;  // throws when it cannot lock

class LockTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Place("post_db.mdb");
    }
    fs::path db_ = folder_ / "c/Bresk/post_db.mdb", ldb_ = folder_ / "c/Bresk/post_db.ldb";
};

TEST_F(LockTest, WhatEachLockInAnotherProcessKeepsOut) {
    WriteBytes(ldb_, Bytes(64, 'x'));
    const std::tuple<const char*, fs::path, short, off_t, off_t, long> cases[] = {
        // what, file, lock, start, length, error of opening to read (rewriting is always refused)
        {"exclusive holder", db_, F_WRLCK, 0, 0, errc::kInUse},
        {"write lock on one data byte", db_, F_WRLCK, 4096, 1, errc::kInUse},
        {"another reader", db_, F_RDLCK, 0, 0, 0},
        {"user lock of slot 3 on the database", db_, F_WRLCK, kUserLockFirst + 2, 1, 0},
        {"user lock in the lock file", ldb_, F_WRLCK, kUserLockFirst, 1, 0},
    };
    for (const auto& [what, file, type, start, length, open] : cases) {
        LockingChild child(file, type, start, length);
        EXPECT_EQ(ErrorOf([&] { JetDatabase::Open(db_); }), open) << what;
        EXPECT_EQ(ErrorOf([&] { JetDatabase::OpenForOnePass(db_); }), open) << what;  // check, export
        EXPECT_EQ(ErrorOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse) << what;
    }
    // A stale lock file without locks does not count.
    EXPECT_EQ(ErrorOf([&] { ExclusiveHold::Acquire(db_); }), 0);
    EXPECT_EQ(ErrorOf([&] { ExclusiveHold::Acquire(folder_ / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { ReadHold::Acquire(folder_ / "none.mdb"); }), errc::kFileNotFound);
    EXPECT_EQ(LockFilePath("/x/y/Bresk.mde"), fs::path("/x/y/Bresk.ldb"));
}

// Errors name files as the products' settings do, through the engine's
// mapping of drive letters: the database, its lock file, a damaged file.
TEST_F(LockTest, ErrorsNameFilesAsTheSettingsDo) {
    WriteBytes(ldb_, Bytes(64, 'x'));
    std::string why;
    {
        LockingChild child(ldb_, F_WRLCK, kUserLockFirst, 1);
        EXPECT_EQ(ErrorOf([&] { engine_->CompactDatabase(Product("post_db.mdb"), Product("out.mdb")); }, &why),
                  errc::kInUse);
    }
    EXPECT_EQ(
        why,
        "The database \"C:\\Bresk\\post_db.mdb\" is in use: a user holds its lock file \"C:\\Bresk\\post_db.ldb\".");
    Bytes truncated = ReadBytes(db_);
    truncated.resize(2048);
    WriteBytes(folder_ / "c/Bresk/short.mdb", truncated);
    try {
        engine_->CompactDatabase(Product("short.mdb"), Product("out.mdb"));
        ADD_FAILURE() << "a truncated file was compacted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kCorrupt);
        EXPECT_EQ(e.description(), "damaged database: \"C:\\Bresk\\short.mdb\" is truncated inside its header page.");
        EXPECT_EQ(e.detail(), "\"C:\\Bresk\\short.mdb\" is truncated inside its header page.");
    }
}

TEST_F(LockTest, HoldsAreSeenAcrossProcessesAndReleasedOnClose) {
    {
        const ExclusiveHold hold = ExclusiveHold::Acquire(db_);
        // A child process trying to read-lock the data is refused.
        EXPECT_THROW(LockingChild(db_, F_RDLCK, 0, 4096), std::runtime_error);
        EXPECT_FALSE(fs::exists(ldb_)) << "holding must not create a lock file";
    }
    {
        const JetDatabase open = JetDatabase::Open(db_);
        EXPECT_THROW(LockingChild(db_, F_WRLCK, 0, 1), std::runtime_error);
#ifdef F_OFD_SETLK
        // Open-file-description locks: a reader in this process stops rewriting too.
        EXPECT_EQ(ErrorOf([&] { ExclusiveHold::Acquire(db_); }), errc::kInUse);
#endif
    }
    EXPECT_NO_THROW(LockingChild(db_, F_WRLCK, 0, 1));
}

// A reader that asks whether it is alone (check, export) holds the file
// exclusively for a moment; another reader opening it then must not be told
// that the file is in use.
TEST_F(LockTest, AReaderIsNotKeptOutByAnotherReadersQuestion) {
    std::atomic<bool> reading = true;
    std::jthread asker([&] {
        while (reading) {
            try {
                ExclusiveHold::Acquire(db_);
            } catch (const Error&) {
                // the reader has it: what a real question meets as well
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int refused = 0;
    for (int i = 0; i < 500; ++i) {
        refused += ErrorOf([&] { ReadHold::Acquire(db_); }) == errc::kInUse ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    reading = false;
    EXPECT_EQ(refused, 0);
}

// A maintenance run holds the database and its lock file from before the
// compaction until the compacted copy is back: products are kept out
// throughout, while the engine's own use, the kept copy and the copy back
// join the hold. The new version is not held by the claim of the old.
TEST_F(LockTest, AMaintenanceHoldKeepsProductsOutUntilTheCopyIsBack) {
    WriteBytes(ldb_, Bytes(64, 'x'));
    {
        LockingChild product(ldb_, F_WRLCK, kUserLockFirst, 1);
        EXPECT_EQ(ErrorOf([&] { engine_->HoldDatabase(Product("post_db.mdb")); }), errc::kInUse);
    }
    const auto productLocks = [&](const fs::path& file) {
        try {
            LockingChild product(file, F_WRLCK, kUserLockFirst, 1);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    };
    LocalFileSystem files;
    {
        const std::unique_ptr<DatabaseHold> hold = engine_->HoldDatabase(Product("post_db.mdb"));
        EXPECT_FALSE(productLocks(db_));
        EXPECT_EQ(ErrorOf([&] { engine_->RepairDatabase(Product("post_db.mdb"), Product("Temp.bk0")); }), 0);
        EXPECT_FALSE(productLocks(db_)) << "released with the engine's own hold";
        EXPECT_FALSE(productLocks(ldb_));
        files.CopyFile(Product("post_db.mdb"), Product("kept.mdb"));
        files.CopyFile(Product("Temp.bk0"), Product("post_db.mdb"));
        EXPECT_EQ(ReadBytes(db_), ReadBytes(folder_ / "c/Bresk/Temp.bk0"));
        EXPECT_TRUE(productLocks(db_));
        EXPECT_FALSE(productLocks(ldb_));
    }
    EXPECT_TRUE(productLocks(ldb_));
    EXPECT_EQ(ErrorOf([&] { engine_->HoldDatabase(Product("none.mdb")); }), 0);  // its compaction says it is missing
}

// dorvane-jet's exit status and output, on real files, a damaged one and a copy.
TEST(JetToolTest, CommandsTheirOutputAndExitStatus) {
    TempFolder folder;
    const std::string post = Quote(TestData() / "products/post_db.mdb"), copy = Quote(folder / "Temp.bk0");
    const std::string complex = Quote(TestData() / "accdb/V2007/complexDataTestV2007.accdb");
    const fs::path source = Copy(folder, TestData() / "products/post_db.mdb");
    Bytes damaged = ReadBytes(TestData() / "mdb/jet4/overflowTestV2000.mdb");
    PutLe32(damaged, 24 * 4096 + 16, 9);  // Table1's cached row count above its seven rows
    WriteBytes(folder / "damaged.mdb", damaged);
    const std::tuple<std::string, int, std::string> cases[] = {
        // output: all of it, or a part after "..."
        {"export " + post + " DOCLIB", 0,
         "ID,LibCode,DocumentPath,Description\r\n1,lib2,T:\\Scans,Scanned post\r\n"
         "2,lib1,S:\\Docs,Documents of the practice\r\n3,lib3,U:\\Archive,\r\n"},
        {"tables " + post, 0, "doclib\nCustomers\nInvoices\nScans\n"},
        {"schema " + Quote(TestData() / "mdb/jet4/testV2000.mdb") + " table1", 0,
         "TABLE Table1 (definition page 24, 9 columns, 2 rows cached)\n  A  Text(100 bytes)  variable  #0\n"
         "  B  Text(200 bytes)  variable  #1\n  C  Byte  #2\n  D  Integer  #3\n  E  Long  #4\n  F  Double  #5\n"
         "  G  Date/Time  #6\n  H  Currency  #7\n  I  Boolean  #8\n  INDEX B (B)\n  INDEX PrimaryKey (A) PRIMARY KEY "
         "UNIQUE\n"},
        {"check " + post, 0, "...\nOK\n"},
        {"check " + Quote(folder / "damaged.mdb"), 1, "...up to 2 rows may be lost"},
        {"compact " + Quote(source) + " " + copy, 0, "...compacted "},
        {"compact " + Quote(source) + " " + copy, 2, "...already exists"},
        {"export " + post + " NoSuchTable", 2, "...no table or query named 'NoSuchTable'"},
        {"export " + post + " DOCLIB 2>&1 >/dev/full; exit $?", 2, "...cannot write the export"},
        {"frobnicate x", 2, "...unknown command"},
        {"export " + complex + " Table1 --attachments " + Quote(folder / "files") + " 2>&1 >/dev/null; exit $?", 0,
         "...3 attachments written under "},
        {"export " + complex + " Table1 --attachments " + Quote(folder / "files") + " 2>&1 >/dev/null; exit $?", 2,
         "...already exists"},
    };
    for (const auto& [arguments, status, output] : cases) {
        const CommandResult run = RunCommand(Quote(DORVANE_JET_TOOL) + " " + arguments + " 2>&1");
        const bool part = output.rfind("...", 0) == 0;
        EXPECT_EQ(run.status, status) << arguments << "\n" << run.output;
        EXPECT_TRUE(part ? run.output.find(output.substr(3)) != std::string::npos : run.output == output)
            << arguments << "\n"
            << run.output;
    }
    const Bytes file = ReadBytes(folder / "files/attach-data/4/test_data2.txt");
    EXPECT_EQ(std::string(file.begin(), file.end()), "this is some more test data for attachment.");
}

// export --all: a file for each user table, named so that no table's name
// reaches outside the folder or onto a device, each as export writes it alone.
TEST(JetToolTest, ExportOfEveryTableWritesAFileForEach) {
    TempFolder folder;
    const std::string tool = Quote(DORVANE_JET_TOOL), db = Quote(folder / "odd.mdb");
    WriteBytes(folder / "rows.csv", Bytes{'A', '\r', '\n', '7', '\r', '\n'});
    ASSERT_EQ(RunCommand(tool + " create " + db).status, 0);
    const std::pair<std::string, std::string> names[] = {
        {"a/b%", "a%2Fb%25.csv"}, {"con", "%63on.csv"}, {"x:y", "x%3Ay.csv"}, {"Größe", "Größe.csv"}};
    for (const auto& [table, file] : names)
        ASSERT_EQ(RunCommand(tool + " import " + db + " " + Quote(table) + " " + Quote(folder / "rows.csv")).status, 0);
    const std::string all = tool + " export " + db + " --all " + Quote(folder / "out") + " 2>&1";
    CommandResult run = RunCommand(all);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "exported 4 tables into " + (folder / "out").string() + "\n");
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(folder / "out")) written.insert(entry.path().filename().string());
    EXPECT_EQ(written.size(), 4u);
    for (const auto& [table, file] : names) {
        EXPECT_TRUE(written.contains(file)) << file;
        const CommandResult alone = RunCommand(tool + " export " + db + " " + Quote(table));
        const Bytes exported = ReadBytes(folder / "out" / file);
        EXPECT_EQ(std::string(exported.begin(), exported.end()), alone.output) << table;
    }
    run = RunCommand(all);  // nothing is overwritten
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("already exists"), std::string::npos) << run.output;

    const std::string complex = Quote(TestData() / "accdb/V2007/complexDataTestV2007.accdb");
    run = RunCommand(tool + " export " + complex + " --all " + Quote(folder / "c") + " --attachments " +
                     Quote(folder / "files") + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(", 3 attachments under "), std::string::npos) << run.output;
    const Bytes attached = ReadBytes(folder / "files/Table1/attach-data/4/test_data2.txt");
    EXPECT_EQ(std::string(attached.begin(), attached.end()), "this is some more test data for attachment.");
}
#endif

}  // namespace
}  // namespace dorvane::jet
