// The system's parts behind the window's logic: the registry reader on values
// seeded into Wine's registry, the start of the system information tool,
// message boxes and the folder dialog, each driven as a user would.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include "core/error.h"
#include "engines/files/local_file_system.h"
#include "tests/windows/dialog_driver.h"
#include "platform/native_path.h"
#include "tests/support/temp_dir.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/registry_value.h"
#include "ui/logic/sys_info.h"
#include "ui/win32/shell_folder_dialog.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_program_starter.h"
#include "ui/win32/win32_registry.h"

namespace dorvane {
namespace {

using namespace wintest;

constexpr const char* kValues = "SOFTWARE\\Dorvane Tests\\Values";

// The real registry, recording the rights asked for and the keys left open.
class WatchedRegistry final : public ui::Registry {
public:
    ui::RegistryStatus OpenKey(ui::RegistryKey root, const std::string& path, std::uint32_t rights,
                               ui::RegistryKey& opened) override {
        rights_.push_back(rights);
        const auto status = real_.OpenKey(root, path, rights, opened);
        if (status == ui::kRegistrySuccess) ++open_;
        return status;
    }
    ui::RegistryValue QueryValue(ui::RegistryKey key, const std::string& name, std::size_t capacity) override {
        if (hidden_ == name) return {};
        return real_.QueryValue(key, name, capacity);
    }
    void CloseKey(ui::RegistryKey key) override {
        --open_;
        real_.CloseKey(key);
    }

    std::vector<std::uint32_t> rights_;
    int open_ = 0;
    std::string hidden_;  // a value name that reads as missing

private:
    win32ui::Win32Registry real_;
};

TEST(GetKeyValueOnTheRegistry, ReadsTextWithOrWithoutItsNulAndNumbers) {
    WatchedRegistry registry;
    std::string value;
    EXPECT_TRUE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Text", value));
    EXPECT_EQ(value, "C:\\Tools\\tool.exe");
    value.clear();
    // Text stored without its terminating NUL, as some programs write it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kValues, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    const char noNul[] = {'C', ':', '\\', 'T', 'o', 'o', 'l'};
    EXPECT_EQ(RegSetValueExA(key, "NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>(noNul), sizeof noNul),
              ERROR_SUCCESS);
    DWORD bytes = 0;
    EXPECT_EQ(RegQueryValueExA(key, "NoNul", nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, 7u);
    RegCloseKey(key);
    EXPECT_TRUE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "NoNul", value));
    EXPECT_EQ(value, "C:\\Tool");
    value.clear();
    EXPECT_TRUE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Empty", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Number", value));
    EXPECT_EQ(value, "&h1F2E");
    value = "kept";
    EXPECT_TRUE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Binary", value));
    EXPECT_EQ(value, "kept");  // other types leave the text as it was

    // Read rights only, and every key closed again.
    for (const auto rights : registry.rights_) EXPECT_EQ(rights, 0x20019u);
    EXPECT_EQ(registry.open_, 0);
}

TEST(GetKeyValueOnTheRegistry, MissingTooLongAndEmptyValuesFailWithTheKeyClosed) {
    WatchedRegistry registry;
    std::string value = "old";
    EXPECT_FALSE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, "SOFTWARE\\Dorvane Tests\\None", "Text", value));
    EXPECT_EQ(value, "");
    value = "old";
    EXPECT_FALSE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Missing", value));
    EXPECT_EQ(value, "");
    value = "old";
    EXPECT_FALSE(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "Long", value));  // 1500 bytes
    EXPECT_EQ(value, "");
    EXPECT_THROW(ui::GetKeyValue(registry, ui::kHKeyLocalMachine, kValues, "NoData", value), Error);
    EXPECT_EQ(registry.open_, 0);
}

// Records the message box that appears while `action` runs, and clicks OK.
DialogFacts BoxDuring(const std::function<void()>& action, const std::wstring& title) {
    auto seen = std::async(std::launch::async, [&] {
        DialogFacts facts;
        if (HWND box = WaitForDialog(title, 20000)) {
            facts = Describe(box);
            Click(FindButton(box, L"OK"));
        }
        return facts;
    });
    action();
    return seen.get();
}

TEST(Win32MessageBoxes, ShowTheTextIconAndTitleWithOneOkButton) {
    win32ui::Win32MessageBoxes boxes;
    const auto info = BoxDuring([&] { boxes.Show("Backup was created\r\nZ:\\bk", BoxIcon::Information, "Zentro"); },
                                L"Zentro");
    EXPECT_EQ(info.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_TRUE(info.hasIcon);
    ASSERT_FALSE(info.texts.empty());
    EXPECT_NE(info.texts.back().find(L"Backup was created"), std::wstring::npos);

    const auto plain = BoxDuring([&] { boxes.Show("No icon here", BoxIcon::None, "Plain title"); }, L"Plain title");
    EXPECT_EQ(plain.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_FALSE(plain.hasIcon);
}

TEST(StartSysInfoOnWindows, StartsTheProgramTheRegistryNamesInANormalWindow) {
    testing::TempDir dir;
    const std::string marker = PathText(dir / "started.txt");
    SetEnvironmentVariableA("DORVANE_PROBE_OUT", marker.c_str());
    WatchedRegistry registry;
    LocalFileSystem files;
    win32ui::Win32ProgramStarter starter;
    win32ui::Win32MessageBoxes boxes;
    ui::StartSysInfo(ui::SysInfoPlatform{registry, files, starter, boxes});

    std::string recorded;
    for (int i = 0; i < 500 && recorded.empty(); ++i) {
        Sleep(20);
        std::ifstream in(std::filesystem::path(Wide(marker)), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        recorded = content.str();
    }
    ASSERT_FALSE(recorded.empty()) << "the probe program did not start";
    EXPECT_EQ(recorded.substr(0, recorded.find('\n')), "flags=1 show=1");
    EXPECT_NE(recorded.find("sysinfo_probe.exe"), std::string::npos);
    EXPECT_EQ(recorded.back(), 'e');  // no NUL or blank after the path
    EXPECT_EQ(registry.open_, 0);
}

TEST(StartSysInfoOnWindows, WithoutAToolShowsOneBoxTitledWithTheApplication) {
    WatchedRegistry registry;
    registry.hidden_ = "PATH";  // value 1 missing; value 2 is not seeded
    LocalFileSystem files;
    win32ui::Win32ProgramStarter starter;
    win32ui::Win32MessageBoxes boxes;
    const auto box = BoxDuring([&] { ui::StartSysInfo(ui::SysInfoPlatform{registry, files, starter, boxes}); },
                               Wide(std::string(ui::kApplicationTitle)));
    ASSERT_FALSE(box.texts.empty());
    EXPECT_EQ(box.texts.back(), L"System Information Is Unavailable At This Time");
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_FALSE(box.hasIcon);
}

TEST(Win32ProgramStarter, ANameThatIsNoProgramIsAnError) {
    win32ui::Win32ProgramStarter starter;
    EXPECT_THROW(starter.Start("Z:\\no\\such\\tool.exe", 1), Error);
}

TEST(ShellFolderDialog, ShowsTheTitleAndGivesNothingWhenCancelled) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    win32ui::ShellFolderDialog dialog;
    auto seen = std::async(std::launch::async, [] {
        DialogFacts facts;
        if (HWND box = WaitForDialog(L"", 20000)) {
            facts = Describe(box);
            Click(FindButton(box, L"Cancel"));
        }
        return facts;
    });
    const auto chosen = dialog.ChooseFolder("Select Backup Folder");
    const auto facts = seen.get();
    EXPECT_FALSE(chosen.has_value());
    EXPECT_NE(std::find(facts.texts.begin(), facts.texts.end(), L"Select Backup Folder"), facts.texts.end());
    if (SUCCEEDED(com)) CoUninitialize();
}

TEST(ShellFolderDialog, GivesTheFileSystemPathOfTheAcceptedFolder) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    win32ui::ShellFolderDialog dialog;
    auto seen = std::async(std::launch::async, [] {
        if (HWND box = WaitForDialog(L"", 20000)) {
            Sleep(300);  // the tree fills itself
            Click(FindButton(box, L"OK"));
        }
    });
    const auto chosen = dialog.ChooseFolder("Select Backup Folder");
    seen.get();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->find('\0'), std::string::npos);
    const DWORD attributes = GetFileAttributesA(chosen->c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << *chosen;
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << *chosen;
    if (SUCCEEDED(com)) CoUninitialize();
}

TEST(VersionRecord, CarriesTheVersionAndDescriptionTheWindowShows) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(self, &ignored);
    ASSERT_GT(size, 0u) << "no version record in the program";
    std::vector<char> record(size);
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, size, record.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 0u);
    EXPECT_EQ(fixed->dwFileVersionLS, (0u << 16) | 2u);
    wchar_t* description = nullptr;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\StringFileInfo\\040904B0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_EQ(std::wstring(description), L"Backup and optimize Zentro products");
    // The icon of the window is there in its one 48 x 48 size.
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 48, 48, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 48);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

}  // namespace
}  // namespace dorvane
