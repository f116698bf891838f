// The system's parts behind the window's logic: the system information tool
// found through Wine's machine registry and started, its message when it is
// not there, and the folder dialog, each driven as a user would.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "core/error.h"
#include "engines/files/local_file_system.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog_driver.h"
#include "ui/logic/sys_info.h"
#include "ui/win32/shell_folder_dialog.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_program_starter.h"
#include "ui/win32/win32_registry.h"

namespace dorvane {
namespace {

using namespace wintest;

constexpr const char* kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

void PutValue(const char* key, const char* name, DWORD type, const std::string& bytes) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// The probe program beside this one stands in for the tool: it writes how it
// was started into the file DORVANE_PROBE_OUT names.
TEST(StartSysInfoOnWindows, StartsTheToolTheRegistryNamesInANormalWindowOrSaysItIsUnavailable) {
    wchar_t self[MAX_PATH];
    const std::filesystem::path program(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
    PutValue(kToolKey, "PATH", REG_SZ, (program.parent_path() / "dorvane_sysinfo_probe.exe").string());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO");
    testing::TempDir dir;
    SetEnvironmentVariableW(L"DORVANE_PROBE_OUT", (dir / "started.txt").wstring().c_str());
    win32ui::Win32Registry registry;
    LocalFileSystem files;
    win32ui::Win32ProgramStarter starter;
    win32ui::Win32MessageBoxes boxes;
    const ui::SysInfoPlatform platform{registry, files, starter, boxes};
    ui::StartSysInfo(platform);
    std::string started;
    WaitFor([&] { return !(started = testing::ReadFile(dir / "started.txt")).empty(); }, 10000);
    EXPECT_EQ(started.substr(0, started.find('\n')), "flags=1 show=1");
    EXPECT_NE(started.find("dorvane_sysinfo_probe.exe"), std::string::npos) << started;
    EXPECT_EQ(started.back(), 'e');  // no NUL or blank after the path

    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kToolKey, "PATH");
    auto box = std::async(std::launch::async, [] {
        HWND shown = WaitForDialog(L"Dorvane", 20000);
        const DialogFacts facts = shown != nullptr ? Describe(shown) : DialogFacts{};
        Press(shown, L"OK");
        return facts;
    });
    ui::StartSysInfo(platform);
    const DialogFacts facts = box.get();
    EXPECT_EQ(facts.texts, std::vector<std::wstring>{L"System Information Is Unavailable At This Time"});
    EXPECT_EQ(facts.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_FALSE(facts.hasIcon);
    EXPECT_THROW(starter.Start("Z:\\no\\such\\tool.exe", 1), Error);
}

TEST(ShellFolderDialog, ShowsTheTitleAndGivesTheAcceptedFolderOrNothingWhenCancelled) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    win32ui::ShellFolderDialog dialog;
    for (const std::wstring button : {L"Cancel", L"OK"}) {
        SCOPED_TRACE(button);
        auto seen = std::async(std::launch::async, [&] {
            HWND shown = WaitForDialog(L"", 20000);
            Sleep(300);  // the tree fills itself
            const DialogFacts facts = shown != nullptr ? Describe(shown) : DialogFacts{};
            Press(shown, button);
            return facts;
        });
        const auto chosen = dialog.ChooseFolder("Select Backup Folder");
        const auto texts = seen.get().texts;
        EXPECT_NE(std::find(texts.begin(), texts.end(), L"Select Backup Folder"), texts.end());
        EXPECT_EQ(chosen.has_value(), button == L"OK");
        const DWORD attributes = chosen ? GetFileAttributesA(chosen->c_str()) : FILE_ATTRIBUTE_DIRECTORY;
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
}  // namespace dorvane
