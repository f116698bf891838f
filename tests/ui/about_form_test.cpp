#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "tests/support/fakes.h"
#include "ui/logic/about_form.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/about_view.h"
#include "ui/logic/open_folder.h"
#include "ui/logic/posix_platform.h"

namespace dorvane::ui {
namespace {

using Events = std::vector<std::string>;

// Keeps the product and the blue labels; notes the busy pointer and closing.
class RecordingView final : public AboutView {
public:
    std::string info, log, selected;
    Events events;

    void SetCaption(const std::string&) override {}
    void SetTitleText(const std::string&) override {}
    void SetDescriptionText(const std::string&) override {}
    void SetVersionText(const std::string&) override {}
    void SetInfoText(const std::string& text) override { info = text; }
    void SetLogText(const std::string& text) override { log = text; }
    void SelectProduct(const std::string& product) override { selected = product; }
    std::string SelectedProduct() const override { return selected; }
    void SetBusyPointer(bool on) override { events.push_back(on ? "busy" : "normal"); }
    void Close() override { events.push_back("close"); }
};

// Gives the queued answers in turn (nullopt is a cancel); throws when `fail`.
class ScriptedFolderDialog final : public FolderDialog {
public:
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> titles;
    bool fail = false;

    std::optional<std::string> ChooseFolder(const std::string& title) override {
        titles.push_back(title);
        if (fail || answers.empty()) throw std::runtime_error("the folder dialog failed");
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

class AboutFormTest : public ::testing::Test {
protected:
    testing::FakeWorld world;
    RunContext& ctx = world.rt.ctx;
    RecordingView view;
    Events& events = view.events;  // with the operations' calls
    ScriptedFolderDialog folders;
    PosixRegistry registry;  // no tool here: System Info shows its message
    PosixProgramStarter starter;
    Events lookups;  // the product and kind each lookup saw

    AboutForm Form(std::function<void(Runtime&)> maintenance) {
        return AboutForm(
            world.rt, view, folders, SysInfoTools{registry, starter},
            WindowOperations{std::move(maintenance), [this](Runtime&) { events.push_back("WriteScheduleBatch"); },
                             [this](Runtime& rt) {
                                 lookups.push_back(rt.ctx.Product + " " + std::to_string(rt.ctx.DbKind));
                                 return std::string("C:\\Docs");
                             }});
    }
    AboutForm form = Form([this](Runtime&) { events.push_back("RunMaintenance"); });

    void Put(const std::string& product, std::initializer_list<std::pair<std::string, std::string>> settings) {
        for (const auto& [key, value] : settings) {
            world.settings.Set(product, key == "sqlver" ? "TitleBar" : "Locations", key, value);
        }
    }
    void Pick(const std::string& product) {
        view.selected = product;
        form.cmbType_Click();
    }
    // lblLog's second line.
    std::string ShownBackupFolder() const { return view.log.substr(14, view.log.find("\r\n\r\nLog File:") - 14); }
};

TEST_F(AboutFormTest, OnlyAnAbsentOrCapitalNaBackupFolderIsLookedUpForTheNewProduct) {
    Put("Cindral", {{"sqlver", "1"}, {"DSN", "D"}, {"DbaseName", "B"}, {"SQLSERVER", "S"}});
    const std::pair<std::optional<std::string>, bool> cases[] = {{std::nullopt, true}, {"NA", true},   {"na", false},
                                                                 {"Na", false},        {"NA ", false}, {"", false}};
    for (const auto& [stored, looksUp] : cases) {
        SCOPED_TRACE(stored.value_or("(absent)"));
        const std::string shown = looksUp ? "C:\\Docs" : *stored;
        lookups.clear();
        if (stored)
            Put("Cindral", {{"BKpath", *stored}});
        else
            world.settings.Delete("Cindral", "Locations", "BKpath");
        Pick("Cindral");
        EXPECT_EQ(lookups, Events(looksUp ? 1 : 0, "Cindral 1"));
        EXPECT_EQ(world.settings.Get("Cindral", "Locations", "BKpath"), shown);
        EXPECT_EQ(ShownBackupFolder(), shown);
    }
    EXPECT_EQ(view.info, "DSN:   D\r\nDbase:   B\r\nServer:   S");
}

TEST_F(AboutFormTest, TheFolderButtonSavesTheChoiceACancelFallsBackAndAFailureIsSkipped) {
    Put("Alveto", {{"sqlver", "0"}, {"BKpath", "G:\\Old"}});
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
        EXPECT_EQ(world.settings.Get("Alveto", "Locations", "BKpath"), c.kept);
        EXPECT_EQ(ShownBackupFolder(), c.kept);
    }
    EXPECT_EQ(lookups, Events{"Alveto 0"});  // the cancel only
}

TEST_F(AboutFormTest, RunMaintainsUnderTheBusyPointerThenWritesTheBatchAndClosesWhateverHappened) {
    Put("Alveto", {{"sqlver", "0"}});
    Pick("Alveto");
    EXPECT_EQ(view.info, "mdb database");
    form.cmdRun_Click();
    EXPECT_EQ(events, (Events{"busy", "RunMaintenance", "normal", "WriteScheduleBatch", "close"}));
    events.clear();
    EXPECT_NO_THROW(Form([](Runtime&) { throw std::runtime_error("the maintenance failed"); }).cmdRun_Click());
    EXPECT_EQ(events, (Events{"busy", "normal", "WriteScheduleBatch", "close"}));
}

TEST_F(AboutFormTest, AProductNotSetUpRefusesEveryRunAndCancelStillCloses) {
    Pick("Cindral");
    form.cmdRun_Click();
    form.cmdRun_Click();
    ASSERT_EQ(world.boxes.shown.size(), 2u);
    for (const auto& [text, icon, title] : world.boxes.shown) {
        EXPECT_EQ(std::tie(text, icon, title),
                  std::tuple("Operation Failed. Registry error", BoxIcon::Critical, "Zentro Software Ltd"));
    }
    EXPECT_TRUE(events.empty());  // nothing ran, nothing was written, still open
    form.cmdOK_Click();
    EXPECT_EQ(events, Events{"close"});
}

TEST(BrowseForFolder, GivesThePathUpToItsNulOrWhenNoneUnchanged) {
    ScriptedFolderDialog dialog;
    dialog.answers = {std::string("C:\\"), std::nullopt, std::string("D:\\Back\0junk", 12)};
    EXPECT_EQ(BrowseForFolder(dialog, "none", std::string("Pick")), "C:\\");
    EXPECT_EQ(BrowseForFolder(dialog, "none"), "none");
    EXPECT_EQ(BrowseForFolder(dialog, ""), "D:\\Back");
    EXPECT_EQ(dialog.titles, (std::vector<std::string>{"Pick", "Select a folder.", "Select a folder."}));
}

TEST(AboutTexts, VersionShowsMajorMinorAndTheFourthNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"3.10.5.17", "Version 3.10.17"}, {"4.1", "Version 4.1.0"}, {"x.1.2.y", "Version 0.1.0"}};
    for (const auto& [record, shown] : cases) EXPECT_EQ(VersionText(record), shown) << record;
}

}  // namespace
}  // namespace dorvane::ui
