#include <gtest/gtest.h>

#include <tuple>

#include "core/error.h"
#include "tests/support/fakes.h"
#include "ui/logic/registry.h"
#include "ui/logic/registry_value.h"
#include "ui/logic/sys_info.h"

namespace dorvane::ui {
namespace {

// Values by key path and name; counts the keys left open.
class FakeRegistry final : public Registry {
public:
    std::vector<std::tuple<std::string, std::string, RegistryValue>> values;  // key, name, value
    std::vector<std::uint32_t> rights;                                        // asked for, one per opening
    int openKeys = 0;

    RegistryStatus OpenKey(RegistryKey root, const std::string& path, std::uint32_t wanted,
                           RegistryKey& opened) override {
        rights.push_back(wanted);
        for (std::size_t i = 0; i < values.size() && root == kHKeyLocalMachine; ++i) {
            if (std::get<0>(values[i]) != path) continue;
            opened = i + 1;  // names the key by one of its values
            ++openKeys;
            return kRegistrySuccess;
        }
        return kRegistryFileNotFound;
    }
    RegistryValue QueryValue(RegistryKey key, const std::string& name, std::size_t capacity) override {
        for (const auto& [path, valueName, value] : values) {
            if (path != std::get<0>(values.at(key - 1)) || valueName != name) continue;
            if (value.data.size() > capacity) return {kRegistryMoreData, 0, {}};
            return value;
        }
        return {kRegistryFileNotFound, 0, {}};
    }
    void CloseKey(RegistryKey) override { --openKeys; }
};

// A value as the registry holds it, NULs included.
template <std::size_t N>
RegistryValue Value(std::uint32_t type, const char (&bytes)[N]) {
    return {kRegistrySuccess, type, std::string(bytes, N - 1)};
}

RegistryValue Text(const std::string& bytes) { return {kRegistrySuccess, kRegSz, bytes}; }

TEST(GetKeyValue, ReadsTextAndNumbersAndFailsWithEmptyTextAlwaysClosingTheKey) {
    const std::string kilobyte(1024, 'x');
    const struct {
        RegistryValue stored;
        bool read;
        std::string value;
    } cases[] = {
        {Value(kRegSz, "C:\\Tools\\msinfo32.exe\0"), true, "C:\\Tools\\msinfo32.exe"},
        {Value(kRegSz, "C:\\x"), true, "C:\\x"},                  // without its NUL: whole
        {Value(kRegSz, "ab\0\0"), true, std::string("ab\0", 3)},  // one NUL only
        {Text(kilobyte), true, kilobyte},
        {Text(kilobyte + "x"), false, ""},                  // over the buffer
        {Value(7, "a\0b\0\0"), true, "before"},             // other types leave the text
        {Value(kRegDword, "\x02\x01\0\0"), true, "&h102"},  // 0x102, not 0x12
        {Value(kRegDword, "\x0D\x0C\x0B\x0A"), true, "&hA0B0C0D"},
        {Value(kRegDword, "\0\0\0\0"), true, "&h0"},
    };
    for (const auto& c : cases) {
        FakeRegistry registry;
        registry.values = {{"K", "v", c.stored}};
        std::string value = "before";
        EXPECT_EQ(GetKeyValue(registry, kHKeyLocalMachine, "K", "v", value), c.read) << c.value;
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(registry.rights, std::vector<std::uint32_t>{0x20019u});  // read rights only
        EXPECT_EQ(registry.openKeys, 0);
    }
    FakeRegistry registry;
    registry.values = {{"K", "v", Value(kRegSz, "")}};
    for (const auto& [key, name] : {std::pair{"K", "missing"}, {"missing", "v"}}) {
        std::string value = "before";
        EXPECT_FALSE(GetKeyValue(registry, kHKeyLocalMachine, key, name, value)) << key << name;
        EXPECT_EQ(value, "");
    }
    std::string value;
    EXPECT_THROW(GetKeyValue(registry, kHKeyLocalMachine, "K", "v", value), Error);  // no data at all
    EXPECT_EQ(registry.openKeys, 0);
}

class RecordingStarter final : public ProgramStarter {
public:
    std::vector<std::pair<std::string, int>> started;
    bool fail = false;
    void Start(const std::string& commandLine, int windowStyle) override {
        if (fail) throw Error(errc::kFileNotFound, "cannot start " + commandLine);
        started.emplace_back(commandLine, windowStyle);
    }
};

TEST(StartSysInfo, StartsTheToolTheRegistryNamesOrShowsTheMessageOnce) {
    const std::string tool = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    const std::string shared = "SOFTWARE\\Microsoft\\Shared Tools Location";
    const auto path = [&](RegistryValue value) { return std::tuple{tool, std::string("PATH"), value}; };
    const auto location = [&](RegistryValue value) { return std::tuple{shared, std::string("MSINFO"), value}; };
    const struct {
        const char* what;
        decltype(FakeRegistry::values) values;
        bool toolFileExists, startFails;
        std::string started;  // empty: the message instead
        std::size_t keysRead;
    } cases[] = {
        {"tool path, location never read",
         {path(Value(kRegSz, "C:\\Program Files\\msinfo32.exe\0")), location(Value(kRegSz, "C:\\Shared\0"))},
         true,
         false,
         "C:\\Program Files\\msinfo32.exe",
         1},
        {"location holding the tool",
         {location(Value(kRegSz, "C:\\Shared\0"))},
         true,
         false,
         "C:\\Shared\\MSINFO32.EXE",
         2},
        {"location without the tool", {location(Value(kRegSz, "C:\\Shared"))}, false, false, "", 2},
        {"no registry entries", {}, true, false, "", 2},
        {"tool path of another type, not followed",
         {path(Value(3, "\x01\x02")), location(Value(kRegSz, "C:\\Shared"))},
         true,
         false,
         "",
         1},
        {"tool path without data", {path(Value(kRegSz, ""))}, true, false, "", 1},
        {"tool that does not start", {path(Value(kRegSz, "C:\\nothing.exe"))}, true, true, "", 1},
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
        EXPECT_EQ(registry.rights.size(), c.keysRead);
        EXPECT_EQ(registry.openKeys, 0);
        if (!c.started.empty()) {
            EXPECT_EQ(starter.started, (std::vector<std::pair<std::string, int>>{{c.started, 1}}));
            EXPECT_TRUE(boxes.shown.empty());
            continue;
        }
        EXPECT_TRUE(starter.started.empty());
        ASSERT_EQ(boxes.shown.size(), 1u);
        const auto& [text, icon, title] = boxes.shown[0];
        EXPECT_EQ(std::tie(text, icon, title),
                  std::tuple("System Information Is Unavailable At This Time", BoxIcon::None, "Dorvane"));
    }
}

}  // namespace
}  // namespace dorvane::ui
