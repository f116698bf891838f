#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/fakes.h"
#include "tests/ui/window_fakes.h"
#include "ui/logic/about_form.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/posix_platform.h"

namespace dorvane::ui {
namespace {

constexpr const char* kSqlInfo = "DSN:   BreskDSN\r\nDbase:   BreskData\r\nServer:   SRV01";

class AboutFormTest : public ::testing::Test {
protected:
    testing::FakeWorld world;
    Runtime& rt = world.rt;
    std::vector<std::string> events;
    testing::RecordingView view{events};
    testing::ScriptedFolderDialog folders;
    PosixRegistry registry;  // no tool here: System Info shows its message
    PosixProgramStarter starter;
    std::vector<std::string> lookups;  // the product and kind each lookup saw

    WindowOperations Recorded(std::function<void(Runtime&)> maintenance) {
        return WindowOperations{std::move(maintenance),
                                [this](Runtime&) { events.push_back("WriteScheduleBatch"); },
                                [this](Runtime& r) {
                                    lookups.push_back(r.ctx.Product + " " + std::to_string(r.ctx.DbKind));
                                    return std::string("C:\\Docs");
                                }};
    }
    AboutForm form{rt, view, folders, SysInfoTools{registry, starter},
                   Recorded([this](Runtime&) { events.push_back("RunMaintenance"); })};

    void Set(const std::string& product, const std::string& key, const std::string& value) {
        world.settings.Set(product, key == "sqlver" ? "TitleBar" : "Locations", key, value);
    }
    std::optional<std::string> StoredBackupFolder(const std::string& product) {
        return world.settings.Get(product, "Locations", "BKpath");
    }
    // The second of lblLog's five lines.
    std::string ShownBackupFolder() const {
        const std::size_t start = std::string("Backup Path:\r\n").size();
        return view.log.substr(start, view.log.find("\r\n\r\nLog File:") - start);
    }
    void Pick(const std::string& product) {
        view.selected = product;
        form.cmbType_Click();
    }
    void SetUpSqlProduct() {
        for (const auto& [key, value] : {std::pair{"sqlver", "1"}, {"DSN", "BreskDSN"}, {"DbaseName", "BreskData"},
                                         {"SQLSERVER", "SRV01"}, {"APPPATH", "C:\\Zentro\\Bresk"},
                                         {"BKpath", "E:\\SqlBackups"}}) {
            Set("Bresk", key, value);
        }
    }
};

TEST_F(AboutFormTest, LoadSelectsTheProductAndShowsItsSettingsAndTheProgramsTexts) {
    SetUpSqlProduct();
    rt.ctx.Product = "Bresk";
    form.Form_Load();
    EXPECT_EQ(view.selected, "Bresk");
    EXPECT_EQ(rt.ctx.FrontEndFile, "Bresk.mde");
    EXPECT_EQ(rt.ctx.DbKind, 1);
    EXPECT_EQ(view.info, kSqlInfo);
    EXPECT_EQ(view.log, "Backup Path:\r\nE:\\SqlBackups\r\n\r\nLog File:\r\nC:\\Zentro\\Bresk\\Dorvane_log.txt");
    EXPECT_EQ(view.caption, "Zentro Software Ltd");
    EXPECT_EQ(view.title, "Dorvane for:");
    EXPECT_EQ(view.description, "Backup and optimize Zentro products");
    EXPECT_EQ(view.version, VersionText(ProgramVersion()));
    // Merely opening the window stores the backup folder.
    ASSERT_FALSE(world.settings.log.empty());
    EXPECT_EQ(world.settings.log.back().kind, "write");
    EXPECT_EQ(world.settings.log.back().key, "BKpath");
}

TEST_F(AboutFormTest, OnlyAnAbsentOrCapitalNaBackupFolderIsLookedUpForTheNewProduct) {
    Set("Cindral", "sqlver", "0");
    const struct {
        std::optional<std::string> stored;
        bool looksUp;
    } cases[] = {{std::nullopt, true}, {"NA", true}, {"na", false}, {"Na", false}, {"NA ", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.value_or("(absent)"));
        const std::string shown = c.looksUp ? "C:\\Docs" : *c.stored;
        lookups.clear();
        if (c.stored) Set("Cindral", "BKpath", *c.stored);
        else world.settings.Delete("Cindral", "Locations", "BKpath");
        Pick("Cindral");
        EXPECT_EQ(lookups, std::vector<std::string>(c.looksUp ? 1 : 0, "Cindral 0"));
        EXPECT_EQ(rt.ctx.BackupPath, shown);
        EXPECT_EQ(StoredBackupFolder("Cindral"), shown);
        EXPECT_EQ(ShownBackupFolder(), shown);
    }
}

TEST_F(AboutFormTest, EachSelectionRereadsTheProductAndAnUnreadableKindKeepsTheEarlierOne) {
    SetUpSqlProduct();
    Set("Alveto", "sqlver", "0");
    Set("Alveto", "APPPATH", "C:\\Zentro\\Alveto");
    Set("Cindral", "sqlver", "40000");
    Pick("Bresk");
    EXPECT_EQ(view.info, kSqlInfo);
    Pick("Alveto");
    EXPECT_EQ(rt.ctx.FrontEndFile, "Alveto.mde");
    EXPECT_EQ(view.info, "mdb database");
    EXPECT_EQ(view.log.substr(view.log.rfind("\r\n") + 2), "C:\\Zentro\\Alveto\\Dorvane_log.txt");
    Pick("Bresk");
    Pick("Cindral");
    EXPECT_EQ(rt.ctx.Product, "Cindral");
    EXPECT_EQ(rt.ctx.DbKind, 1);
    EXPECT_EQ(rt.ctx.AppPath, "");
}

TEST_F(AboutFormTest, AProductNotSetUpRefusesEveryRunAndCancelStillCloses) {
    Pick("Cindral");
    EXPECT_EQ(rt.ctx.DbKind, 9);
    EXPECT_EQ(view.info, "mdb database");
    EXPECT_EQ(view.log.substr(view.log.rfind("\r\n") + 2), "\\Dorvane_log.txt");
    form.cmdRun_Click();
    form.cmdRun_Click();
    ASSERT_EQ(world.boxes.shown.size(), 2u);
    for (const auto& box : world.boxes.shown) {
        EXPECT_EQ(box.text, "Operation Failed. Registry error");
        EXPECT_EQ(box.icon, BoxIcon::Critical);
        EXPECT_EQ(box.title, "Zentro Software Ltd");
    }
    EXPECT_TRUE(events.empty());  // nothing ran, nothing was written, still open
    form.cmdOK_Click();
    EXPECT_EQ(events, std::vector<std::string>{"close"});
}

TEST_F(AboutFormTest, TheFolderButtonSavesTheChoiceACancelFallsBackAndAFailureIsSkipped) {
    Set("Alveto", "sqlver", "0");
    Set("Alveto", "BKpath", "G:\\Old");
    Pick("Alveto");
    const struct {
        std::optional<std::string> answer;  // nullopt: cancelled
        bool dialogFails;
        std::string kept;
    } cases[] = {{"F:\\Safe", false, "F:\\Safe"}, {std::nullopt, false, "C:\\Docs"}, {"X:\\", true, "C:\\Docs"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept);
        folders.answers = {c.answer};
        folders.fail = c.dialogFails;
        form.cmdPath_Click();
        EXPECT_EQ(folders.titles.back(), "Select Backup Folder");
        EXPECT_EQ(StoredBackupFolder("Alveto"), c.kept);
        EXPECT_EQ(ShownBackupFolder(), c.kept);
    }
    EXPECT_EQ(lookups, std::vector<std::string>{"Alveto 0"});  // the cancel only
}

TEST_F(AboutFormTest, RunMaintainsUnderTheBusyPointerThenWritesTheBatchAndCloses) {
    Set("Alveto", "sqlver", "0");
    Pick("Alveto");
    form.cmdRun_Click();
    EXPECT_EQ(events, (std::vector<std::string>{"busy", "RunMaintenance", "normal", "WriteScheduleBatch", "close"}));

    events.clear();
    AboutForm failing(rt, view, folders, SysInfoTools{registry, starter},
                      Recorded([](Runtime&) { throw std::runtime_error("the maintenance failed"); }));
    EXPECT_NO_THROW(failing.cmdRun_Click());
    EXPECT_EQ(events, (std::vector<std::string>{"busy", "normal", "WriteScheduleBatch", "close"}));
}

TEST_F(AboutFormTest, SystemInfoShowsItsMessageInTheWindowsBoxes) {
    form.cmdSysInfo_Click();
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.shown[0].text, "System Information Is Unavailable At This Time");
    EXPECT_TRUE(events.empty());
}

// With the program's own operations on an empty machine every step fails and
// reports itself; the window still writes the batch file and closes.
TEST_F(AboutFormTest, TheProgramsRunWritesTheBatchFileAfterFailedOperations) {
    AboutForm program(rt, view, folders, SysInfoTools{registry, starter});
    Set("Bresk", "sqlver", "0");
    Set("Bresk", "APPPATH", "C:\\Zentro\\Bresk");
    Set("Bresk", "BKpath", "D:\\Back");
    rt.ctx.Product = "Bresk";
    program.Form_Load();
    program.cmdRun_Click();
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(world.files.files["C:\\Zentro\\Bresk\\Dorvane.bat"], "\"C:\\Zentro\\Bresk\\Dorvane.exe\" /silent /Bresk\r\n");
    ASSERT_EQ(world.boxes.shown.size(), 3u);  // front-end, back-end, backup
    for (const auto& box : world.boxes.shown) EXPECT_EQ(box.icon, BoxIcon::Critical);
}

TEST(AboutTexts, InfoIsMdbDatabaseForEveryKindButSqlServer) {
    RunContext ctx;
    for (const std::int16_t kind : std::initializer_list<std::int16_t>{0, 2, 9, -1}) {
        ctx.DbKind = kind;
        EXPECT_EQ(InfoText(ctx), "mdb database") << kind;
    }
}

TEST(AboutTexts, VersionShowsMajorMinorAndTheFourthNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"3.10.5.17", "Version 3.10.17"}, {"4.1", "Version 4.1.0"}, {"x.1.2.y", "Version 0.1.0"}};
    for (const auto& [record, shown] : cases) EXPECT_EQ(VersionText(record), shown) << record;
}

}  // namespace
}  // namespace dorvane::ui
