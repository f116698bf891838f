#include <gtest/gtest.h>

#include "core/error.h"
#include "tests/support/fakes.h"
#include "tests/ui/window_fakes.h"
#include "ui/logic/registry.h"
#include "ui/logic/open_folder.h"
#include "ui/logic/posix_platform.h"
#include "ui/logic/registry_value.h"
#include "ui/logic/sys_info.h"

namespace dorvane::ui {
namespace {

const std::string kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

// Values by key path and name; counts the keys left open.
class FakeRegistry final : public Registry {
public:
    struct Value {
        std::string key, name;
        std::uint32_t type;
        std::string bytes;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::string, std::uint32_t>> opens;  // path and rights asked for
    int openKeys = 0;

    RegistryStatus OpenKey(RegistryKey root, const std::string& path, std::uint32_t rights,
                           RegistryKey& opened) override {
        opens.emplace_back(path, rights);
        for (std::size_t i = 0; i < values.size() && root == kHKeyLocalMachine; ++i) {
            if (values[i].key != path) continue;
            opened = i + 1;  // the handle names the key by one of its values
            ++openKeys;
            return kRegistrySuccess;
        }
        return kRegistryFileNotFound;
    }
    RegistryValue QueryValue(RegistryKey key, const std::string& name, std::size_t capacity) override {
        for (const Value& value : values) {
            if (value.key != values.at(key - 1).key || value.name != name) continue;
            if (value.bytes.size() > capacity) return {kRegistryMoreData, 0, {}};
            return {kRegistrySuccess, value.type, value.bytes};
        }
        return {kRegistryFileNotFound, 0, {}};
    }
    void CloseKey(RegistryKey) override { --openKeys; }
};

class RecordingStarter final : public ProgramStarter {
public:
    std::vector<std::pair<std::string, int>> started;
    bool fail = false;
    void Start(const std::string& commandLine, int windowStyle) override {
        if (fail) throw Error(errc::kFileNotFound, "cannot start " + commandLine);
        started.emplace_back(commandLine, windowStyle);
    }
};

// Bytes as the registry holds them, NULs included.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

TEST(GetKeyValue, ReadsTextAndNumbersAndFailsWithEmptyTextAlwaysClosingTheKey) {
    const struct {
        std::uint32_t type;
        std::string bytes;
        bool read;
        std::string value;
    } cases[] = {
        {kRegSz, Bytes("C:\\Tools\\msinfo32.exe\0"), true, "C:\\Tools\\msinfo32.exe"},
        {kRegSz, "C:\\x", true, "C:\\x"},                 // without its NUL: whole
        {kRegSz, Bytes("ab\0\0"), true, Bytes("ab\0")},  // one NUL only
        {kRegSz, std::string(1024, 'x'), true, std::string(1024, 'x')},
        {kRegSz, std::string(1025, 'x'), false, ""},     // over the buffer
        {7, Bytes("a\0b\0\0"), true, "before"},          // other types leave the text
        {kRegDword, Bytes("\x02\x01\0\0"), true, "&h102"},  // 0x102, not 0x12
        {kRegDword, "\x0D\x0C\x0B\x0A", true, "&hA0B0C0D"},
        {kRegDword, Bytes("\0\0\0\0"), true, "&h0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        FakeRegistry registry;
        registry.values = {{"K", "v", c.type, c.bytes}};
        std::string value = "before";
        EXPECT_EQ(GetKeyValue(registry, kHKeyLocalMachine, "K", "v", value), c.read);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(registry.opens.at(0).second, 0x20019u);  // read rights only
        EXPECT_EQ(registry.openKeys, 0);
    }
    FakeRegistry registry;
    registry.values = {{"K", "v", kRegSz, ""}};
    for (const auto& [key, name] : {std::pair{"K", "missing"}, {"missing", "v"}}) {
        std::string value = "before";
        EXPECT_FALSE(GetKeyValue(registry, kHKeyLocalMachine, key, name, value)) << key << name;
        EXPECT_EQ(value, "");
    }
    std::string value;
    EXPECT_THROW(GetKeyValue(registry, kHKeyLocalMachine, "K", "v", value), Error);  // no data at all
    EXPECT_EQ(registry.openKeys, 0);
}

TEST(StartSysInfo, StartsTheToolTheRegistryNamesOrShowsTheMessageOnce) {
    const struct {
        const char* what;
        std::vector<FakeRegistry::Value> values;
        bool toolFileExists, startFails;
        std::string started;  // empty: the message instead
        std::size_t keysRead;
    } cases[] = {
        {"tool path, location never read",
         {{kToolKey, "PATH", kRegSz, Bytes("C:\\Program Files\\msinfo32.exe\0")},
          {kLocationKey, "MSINFO", kRegSz, Bytes("C:\\Shared\0")}},
         true, false, "C:\\Program Files\\msinfo32.exe", 1},
        {"location holding the tool", {{kLocationKey, "MSINFO", kRegSz, Bytes("C:\\Shared\0")}}, true, false,
         "C:\\Shared\\MSINFO32.EXE", 2},
        {"location without the tool", {{kLocationKey, "MSINFO", kRegSz, "C:\\Shared"}}, false, false, "", 2},
        {"no registry entries", {}, true, false, "", 2},
        {"tool path of another type is not followed",
         {{kToolKey, "PATH", 3, "\x01\x02"}, {kLocationKey, "MSINFO", kRegSz, "C:\\Shared"}}, true, false, "", 1},
        {"tool path without data", {{kToolKey, "PATH", kRegSz, ""}}, true, false, "", 1},
        {"tool that does not start", {{kToolKey, "PATH", kRegSz, "C:\\nothing.exe"}}, true, true, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        registry.values = c.values;
        testing::FakeFileSystem files;
        if (c.toolFileExists) files.files["C:\\Shared\\MSINFO32.EXE"] = "";
        RecordingStarter starter;
        starter.fail = c.startFails;
        testing::FakeBoxes boxes;
        StartSysInfo(SysInfoPlatform{registry, files, starter, boxes});
        EXPECT_EQ(registry.opens.size(), c.keysRead);
        EXPECT_EQ(registry.openKeys, 0);
        if (!c.started.empty()) {
            EXPECT_EQ(starter.started, (std::vector<std::pair<std::string, int>>{{c.started, 1}}));
            EXPECT_TRUE(boxes.shown.empty());
            continue;
        }
        EXPECT_TRUE(starter.started.empty());
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
        EXPECT_EQ(boxes.shown[0].title, "Dorvane");
    }
}

TEST(StartSysInfo, PosixHasNoToolSoTheMessageIsShown) {
    PosixRegistry registry;
    PosixProgramStarter starter;
    testing::FakeFileSystem files;
    testing::FakeBoxes boxes;
    StartSysInfo(SysInfoPlatform{registry, files, starter, boxes});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "System Information Is Unavailable At This Time");
    EXPECT_THROW(starter.Start("C:\\x.exe", 1), Error);
}

TEST(BrowseForFolder, GivesThePathUpToItsNulOrWhenNoneUnchanged) {
    testing::ScriptedFolderDialog dialog;
    dialog.answers = {std::string("C:\\"), std::nullopt, std::string("D:\\Back\0junk", 12)};
    EXPECT_EQ(BrowseForFolder(dialog, "none", std::string("Pick")), "C:\\");
    EXPECT_EQ(BrowseForFolder(dialog, "none"), "none");
    EXPECT_EQ(BrowseForFolder(dialog, ""), "D:\\Back");
    EXPECT_EQ(dialog.titles, (std::vector<std::string>{"Pick", "Select a folder.", "Select a folder."}));
}

}  // namespace
}  // namespace dorvane::ui
