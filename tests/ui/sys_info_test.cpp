#include <gtest/gtest.h>

#include "core/error.h"
#include "fakes.h"
#include "ui/logic/open_folder.h"
#include "ui/logic/posix_platform.h"
#include "ui/logic/registry_value.h"
#include "ui/logic/sys_info.h"

namespace dorvane::ui {
namespace {

using test::FakeRegistry;
using test::Journal;
using test::MemoryFiles;
using test::RecordingBoxes;
using test::RecordingStarter;

// A text value as the registry stores it: the text and one terminating NUL.
template <std::size_t N>
std::string WithNul(const char (&text)[N]) {
    return std::string(text, N);
}

const std::string kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

std::string Read(FakeRegistry& registry, const std::string& key, const std::string& name,
                 bool* ok = nullptr) {
    std::string value;
    const bool result = GetKeyValue(registry, kHKeyLocalMachine, key, name, value);
    if (ok) *ok = result;
    return value;
}

TEST(GetKeyValue, TextLosesItsTerminatingNulAndOtherTypesLeaveTheTextAsItWas) {
    FakeRegistry registry;
    registry.Put("K", "nul", kRegSz, WithNul("C:\\Tools\\msinfo32.exe"));
    registry.Put("K", "bare", kRegSz, "C:\\x");
    registry.Put("K", "inner", kRegSz, WithNul("ab\0"));
    registry.Put("K", "multi", 7, WithNul("a\0b\0"));
    bool ok = false;
    EXPECT_EQ(Read(registry, "K", "nul", &ok), "C:\\Tools\\msinfo32.exe");
    EXPECT_TRUE(ok);
    ASSERT_EQ(registry.opens.size(), 1u);
    EXPECT_EQ(registry.opens[0].root, kHKeyLocalMachine);
    EXPECT_EQ(registry.opens[0].rights, 0x20019u);  // KEY_READ: no write rights
    EXPECT_EQ(Read(registry, "K", "bare"), "C:\\x");
    EXPECT_EQ(Read(registry, "K", "inner"), WithNul("ab"));  // one NUL only
    std::string value = "before";
    EXPECT_TRUE(GetKeyValue(registry, kHKeyLocalMachine, "K", "multi", value));
    EXPECT_EQ(value, "before");
    EXPECT_EQ(registry.openKeys, 0);
}

TEST(GetKeyValue, DwordReadsAsTheHexadecimalNumber) {
    FakeRegistry registry;
    registry.Put("K", "small", kRegDword, std::string("\x02\x01\0\0", 4));
    registry.Put("K", "full", kRegDword, std::string("\x0D\x0C\x0B\x0A", 4));
    registry.Put("K", "zero", kRegDword, std::string(4, '\0'));
    // Each byte keeps its two digits, so 0x102 does not read as 0x12.
    EXPECT_EQ(Read(registry, "K", "small"), "&h102");
    EXPECT_EQ(Read(registry, "K", "full"), "&hA0B0C0D");
    EXPECT_EQ(Read(registry, "K", "zero"), "&h0");
}

TEST(GetKeyValue, FailuresGiveFalseAndEmptyTextAndCloseTheKey) {
    FakeRegistry registry;
    registry.Put("K", "huge", kRegSz, std::string(1025, 'x'));
    registry.Put("K", "fits", kRegSz, std::string(1024, 'x'));
    for (const auto& [key, name] : std::vector<std::pair<std::string, std::string>>{
             {"missing", "v"}, {"K", "missing"}, {"K", "huge"}}) {
        std::string value = "stale";
        EXPECT_FALSE(GetKeyValue(registry, kHKeyLocalMachine, key, name, value)) << name;
        EXPECT_EQ(value, "");
        EXPECT_EQ(registry.openKeys, 0);
    }
    EXPECT_EQ(Read(registry, "K", "fits").size(), 1024u);
    registry.Put("K", "empty", kRegSz, "");  // an error, raised after closing the key
    EXPECT_THROW(Read(registry, "K", "empty"), Error);
    EXPECT_EQ(registry.openKeys, 0);
}

class StartSysInfoTest : public ::testing::Test {
protected:
    Journal journal;
    FakeRegistry registry;
    MemoryFiles files;
    RecordingStarter starter;
    RecordingBoxes boxes{journal};

    void Start() { StartSysInfo(SysInfoPlatform{registry, files, starter, boxes}); }
    void ExpectUnavailableMessage() {
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
        EXPECT_EQ(boxes.shown[0].title, "Dorvane");
        EXPECT_TRUE(starter.started.empty());
    }
};

TEST_F(StartSysInfoTest, ToolPathStartsTheToolAndTheLocationIsNeverRead) {
    registry.Put(kToolKey, "PATH", kRegSz, WithNul("C:\\Program Files\\msinfo32.exe"));
    registry.Put(kLocationKey, "MSINFO", kRegSz, WithNul("C:\\Other"));
    Start();
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].first, "C:\\Program Files\\msinfo32.exe");
    EXPECT_EQ(starter.started[0].second, 1);
    EXPECT_EQ(registry.opens.size(), 1u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StartSysInfoTest, LocationFolderIsUsedWhenItHoldsTheTool) {
    registry.Put(kLocationKey, "MSINFO", kRegSz, WithNul("C:\\Shared\\MSInfo"));
    files.files["C:\\Shared\\MSInfo\\MSINFO32.EXE"] = "";
    Start();
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].first, "C:\\Shared\\MSInfo\\MSINFO32.EXE");
    ASSERT_EQ(registry.opens.size(), 2u);
    EXPECT_EQ(registry.opens[0].path, kToolKey);
    EXPECT_EQ(registry.opens[1].path, kLocationKey);
}

TEST_F(StartSysInfoTest, NoRegistryEntriesOrALocationWithoutTheToolShowTheMessageOnce) {
    Start();
    ExpectUnavailableMessage();
    EXPECT_EQ(journal.size(), 1u);
    boxes.shown.clear();
    registry.Put(kLocationKey, "MSINFO", kRegSz, WithNul("C:\\Shared\\MSInfo"));
    Start();
    ExpectUnavailableMessage();
}

TEST_F(StartSysInfoTest, ToolValueOfAnotherTypeIsNotFollowedByTheLocation) {
    registry.Put(kToolKey, "PATH", 3, "\x01\x02");
    registry.Put(kLocationKey, "MSINFO", kRegSz, WithNul("C:\\Shared"));
    files.files["C:\\Shared\\MSINFO32.EXE"] = "";
    Start();
    ExpectUnavailableMessage();
    EXPECT_EQ(registry.opens.size(), 1u);
}

TEST_F(StartSysInfoTest, EmptyValueAndFailedStartShowTheMessage) {
    registry.Put(kToolKey, "PATH", kRegSz, "");
    Start();
    ExpectUnavailableMessage();
    EXPECT_EQ(registry.openKeys, 0);

    boxes.shown.clear();
    registry.Put(kToolKey, "PATH", kRegSz, "C:\\nothing.exe");
    starter.fail = true;
    Start();
    ExpectUnavailableMessage();
}

TEST_F(StartSysInfoTest, PosixHasNoRegistrySoTheMessageIsShown) {
    PosixRegistry posixRegistry;
    PosixProgramStarter posixStarter;
    StartSysInfo(SysInfoPlatform{posixRegistry, files, posixStarter, boxes});
    ExpectUnavailableMessage();
    EXPECT_THROW(posixStarter.Start("C:\\x.exe", 1), Error);
}

TEST(BrowseForFolder, ReturnsThePathOrWhenNoneUnchanged) {
    Journal journal;
    test::ScriptedFolderDialog dialog(journal);
    dialog.answers = {std::string("C:\\"), std::nullopt, std::string("D:\\Back\0junk", 12)};
    EXPECT_EQ(BrowseForFolder(dialog, "none", std::string("Pick")), "C:\\");
    EXPECT_EQ(BrowseForFolder(dialog, "none"), "none");
    EXPECT_EQ(BrowseForFolder(dialog, ""), "D:\\Back");
    EXPECT_EQ(dialog.titles, (std::vector<std::string>{"Pick", "Select a folder.",
                                                       "Select a folder."}));
}

}  // namespace
}  // namespace dorvane::ui
