#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "core/runtime.h"
#include "app/unavailable_components.h"
#include "fakes.h"
#include "ui/logic/about_form.h"

namespace dorvane::ui {
namespace {

using test::Journal;

class AboutFormTest : public ::testing::Test {
protected:
    Journal journal;
    test::MemorySettings settings{journal};
    test::MemoryFiles files;
    std::unique_ptr<SqlClient> sql = MakeUnavailableSqlClient();
    test::RecordingBoxes boxes{journal};
    test::FixedClock clock;
    Runtime rt{settings, files, &MakeUnavailableFileDatabaseEngine, *sql, boxes, clock};
    test::RecordingView view{journal};
    test::ScriptedFolderDialog folders{journal};
    test::FakeRegistry registry;
    test::RecordingStarter starter;
    std::string documentFolder = "C:\\Docs\\Library";

    WindowOperations Recorded() {
        return WindowOperations{
            [this](Runtime&) { journal.push_back("RunMaintenance"); },
            [this](Runtime&) { journal.push_back("WriteScheduleBatch"); },
            [this](Runtime& r) {
                journal.push_back("LookupDocumentPath " + r.ctx.Product + " " +
                                  std::to_string(r.ctx.DbKind));
                return documentFolder;
            },
        };
    }
    AboutForm form{rt, view, folders, SysInfoTools{registry, starter}, Recorded()};

    void SetUp() override {
        rt.ctx.Product = "Alveto";
        rt.ctx.FrontEndFile = "Alveto.mde";
    }
    void Setting(const std::string& app, const std::string& key, const std::string& value) {
        settings.Put(app, key == "sqlver" ? "TitleBar" : "Locations", key, value);
    }
    void SetUpSqlProduct() {
        Setting("Bresk", "sqlver", "1");
        Setting("Bresk", "DSN", "BreskDSN");
        Setting("Bresk", "DbaseName", "BreskData");
        Setting("Bresk", "SQLSERVER", "SRV01");  // any letter case is the same key
        Setting("Bresk", "APPPATH", "C:\\Zentro\\Bresk");
        Setting("Bresk", "BKpath", "E:\\SqlBackups");
    }
    void Pick(const std::string& product) {
        view.selected = product;
        journal.clear();
        form.cmbType_Click();
    }
    std::ptrdiff_t Count(const std::string& prefix) const {
        return std::count_if(journal.begin(), journal.end(),
                             [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    }
};

TEST_F(AboutFormTest, LoadSelectsTheProductReadsItsSettingsThenSetsTheTexts) {
    SetUpSqlProduct();
    rt.ctx.Product = "Bresk";
    form.Form_Load();
    const Journal expected = {
        "select Bresk",
        "get Bresk/TitleBar/sqlver",
        "get Bresk/Locations/DSN",
        "get Bresk/Locations/DbaseName",
        "get Bresk/Locations/sqlServer",
        "get Bresk/Locations/APPPATH",
        "get Bresk/Locations/BKpath",
        "save Bresk/Locations/BKpath=E:\\SqlBackups",
        "lblInfo DSN:   BreskDSN\r\nDbase:   BreskData\r\nServer:   SRV01",
        "lblLog Backup Path:\r\nE:\\SqlBackups\r\n\r\nLog File:\r\nC:\\Zentro\\Bresk\\Dorvane_log.txt",
        "caption Zentro Software Ltd",
        "lblVersion Version 2.0.2",
        "lblTitle Dorvane for:",
        "lblDescription Backup and optimize Zentro products",
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(rt.ctx.FrontEndFile, "Bresk.mde");
    EXPECT_EQ(rt.ctx.DbKind, 1);
    EXPECT_EQ(rt.ctx.SqlServerName, "SRV01");
    EXPECT_EQ(rt.ctx.BackupPath, "E:\\SqlBackups");
}

TEST_F(AboutFormTest, ProductWithoutBackupFolderGetsTheDocumentFolderAndKeepsIt) {
    Setting("Cindral", "sqlver", "0");
    Pick("Cindral");
    // The lookup sees the newly selected product and its kind.
    EXPECT_EQ(Count("LookupDocumentPath Cindral 0"), 1);
    EXPECT_EQ(settings.Value("Cindral", "Locations", "BKpath"), documentFolder);
    EXPECT_EQ(Count("save "), 1);
    EXPECT_NE(view.log.find("\r\nC:\\Docs\\Library\r\n"), std::string::npos);
}

TEST_F(AboutFormTest, OnlyCapitalNaAsksForTheDocumentFolder) {
    Setting("Alveto", "BKpath", "NA");
    Pick("Alveto");
    EXPECT_EQ(Count("LookupDocumentPath"), 1);
    EXPECT_EQ(rt.ctx.BackupPath, documentFolder);

    for (const std::string folder : {"na", "Na", "nA", "NA ", ""}) {
        Setting("Alveto", "BKpath", folder);
        Pick("Alveto");
        EXPECT_EQ(Count("LookupDocumentPath"), 0) << '"' << folder << '"';
        EXPECT_EQ(rt.ctx.BackupPath, folder);
        EXPECT_EQ(journal[6], "save Alveto/Locations/BKpath=" + folder);
        EXPECT_EQ(Count("save "), 1);
    }
}

TEST_F(AboutFormTest, ProductNotSetUpShowsMdbDatabaseAndEmptyLogFolder) {
    Pick("Bresk");
    EXPECT_EQ(rt.ctx.DbKind, 9);
    EXPECT_EQ(view.info, "mdb database");
    EXPECT_EQ(view.log, "Backup Path:\r\nC:\\Docs\\Library\r\n\r\nLog File:\r\n\\Dorvane_log.txt");
}

TEST_F(AboutFormTest, SwitchingFromSqlServerToAccessChangesBothLabels) {
    SetUpSqlProduct();
    Setting("Alveto", "sqlver", "0");
    Setting("Alveto", "APPPATH", "C:\\Zentro\\Alveto");
    Pick("Bresk");  // its texts are checked by the loading test
    Pick("Alveto");
    EXPECT_EQ(rt.ctx.Product, "Alveto");
    EXPECT_EQ(rt.ctx.FrontEndFile, "Alveto.mde");
    EXPECT_EQ(view.info, "mdb database");
    EXPECT_EQ(view.log.substr(view.log.rfind("\r\n") + 2),
              "C:\\Zentro\\Alveto\\Dorvane_log.txt");
}

TEST_F(AboutFormTest, UnreadableKindKeepsTheEarlierKind) {
    SetUpSqlProduct();
    Pick("Bresk");
    Setting("Cindral", "sqlver", "40000");
    Pick("Cindral");
    EXPECT_EQ(rt.ctx.DbKind, 1);
    EXPECT_EQ(rt.ctx.Product, "Cindral");
    EXPECT_EQ(Count("lblLog"), 1);
}

TEST_F(AboutFormTest, ChosenFolderIsSavedAndReadBack) {
    Setting("Alveto", "sqlver", "0");
    folders.answers = {std::string("F:\\Safe")};
    journal.clear();
    view.selected = "Alveto";
    form.cmdPath_Click();
    EXPECT_EQ(folders.titles, std::vector<std::string>{"Select Backup Folder"});
    EXPECT_EQ(journal[0], "dialog Select Backup Folder");
    EXPECT_EQ(journal[1], "save Alveto/Locations/BKpath=F:\\Safe");
    EXPECT_EQ(journal[2], "get Alveto/TitleBar/sqlver");
    EXPECT_EQ(Count("LookupDocumentPath"), 0);
    EXPECT_EQ(rt.ctx.BackupPath, "F:\\Safe");
    EXPECT_EQ(view.log.substr(0, 23), "Backup Path:\r\nF:\\Safe\r\n");
}

TEST_F(AboutFormTest, CancelResetsTheChoiceToTheDocumentFolder) {
    Setting("Alveto", "sqlver", "0");
    view.selected = "Alveto";
    folders.answers = {std::string("F:\\Safe"), std::nullopt};
    form.cmdPath_Click();
    journal.clear();
    form.cmdPath_Click();
    EXPECT_EQ(journal[1], "LookupDocumentPath Alveto 0");
    EXPECT_EQ(journal[2], "save Alveto/Locations/BKpath=C:\\Docs\\Library");
    EXPECT_EQ(settings.Value("Alveto", "Locations", "BKpath"), documentFolder);
    EXPECT_EQ(rt.ctx.BackupPath, documentFolder);
}

TEST_F(AboutFormTest, FailingPickerStepsAreSkipped) {
    Setting("Alveto", "BKpath", "G:\\Old");
    view.selected = "Alveto";
    rt.ctx.BackupPath = "G:\\Old";
    folders.fail = true;
    form.cmdPath_Click();
    EXPECT_EQ(settings.Value("Alveto", "Locations", "BKpath"), "G:\\Old");
    EXPECT_NE(view.log.find("G:\\Old"), std::string::npos);  // refreshed regardless
}

TEST_F(AboutFormTest, RunRefusesAProductThatIsNotSetUp) {
    Pick("Cindral");
    journal.clear();
    form.cmdRun_Click();
    form.cmdRun_Click();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "Operation Failed. Registry error");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Critical);
    EXPECT_EQ(boxes.shown[0].title, "Zentro Software Ltd");
    EXPECT_EQ(journal, (Journal{"box Operation Failed. Registry error",
                                "box Operation Failed. Registry error"}));
    EXPECT_EQ(view.closes, 0);
    form.cmdOK_Click();
    EXPECT_EQ(view.closes, 1);
}

TEST_F(AboutFormTest, RunMaintainsUnderTheBusyPointerWritesTheBatchAndCloses) {
    Setting("Alveto", "sqlver", "0");
    Pick("Alveto");
    journal.clear();
    form.cmdRun_Click();
    EXPECT_EQ(journal, (Journal{"busy", "RunMaintenance", "normal", "WriteScheduleBatch", "close"}));
}

TEST_F(AboutFormTest, AThrowingMaintenanceStillResetsThePointerWritesTheBatchAndCloses) {
    bool batchWritten = false;
    AboutForm failing(rt, view, folders, SysInfoTools{registry, starter},
                      WindowOperations{[](Runtime&) { throw std::runtime_error("boom"); },
                                       [&](Runtime&) { batchWritten = true; }, [](Runtime&) { return std::string(); }});
    rt.ctx.DbKind = 0;
    const int closesBefore = view.closes;
    EXPECT_NO_THROW(failing.cmdRun_Click());
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(batchWritten);
    EXPECT_EQ(view.closes, closesBefore + 1);
}

TEST_F(AboutFormTest, CancelClosesWithoutRunningOrWriting) {
    Pick("Alveto");
    journal.clear();
    form.cmdOK_Click();
    EXPECT_EQ(journal, Journal{"close"});
}

TEST_F(AboutFormTest, SystemInfoShowsTheMessageWhenTheRegistryHasNoTool) {
    form.cmdSysInfo_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(boxes.shown[0].title, "Dorvane");
    EXPECT_EQ(view.closes, 0);
}

// The program's own operations: every step fails on this empty machine, each
// reports itself, and the window still writes the batch file and closes.
TEST_F(AboutFormTest, ProgramRunWritesTheBatchFileAfterFailedOperations) {
    AboutForm program(rt, view, folders, SysInfoTools{registry, starter});
    Setting("Bresk", "sqlver", "0");
    Setting("Bresk", "APPPATH", "C:\\Zentro\\Bresk");
    Setting("Bresk", "BKpath", "D:\\Back");
    rt.ctx.Product = "Bresk";
    program.Form_Load();
    program.cmdRun_Click();
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(files.files["C:\\Zentro\\Bresk\\Dorvane.bat"],
              "\"C:\\Zentro\\Bresk\\Dorvane.exe\" /silent /Bresk\r\n");
    ASSERT_EQ(boxes.shown.size(), 3u);  // front-end, back-end, backup
    for (const auto& box : boxes.shown) EXPECT_EQ(box.icon, BoxIcon::Critical);
    EXPECT_NE(files.files["C:\\Zentro\\Bresk\\Dorvane_log.txt"].find("Unable to Repair Dbase"),
              std::string::npos);
}

}  // namespace
}  // namespace dorvane::ui
