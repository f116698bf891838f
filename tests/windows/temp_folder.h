#pragma once
// A fresh folder under the user's temporary folder, removed with its content
// at the end of the test. Paths are handed out as the program's path text.

#include <filesystem>
#include <string>

#include "platform/ansi_text.h"
#include "platform/windows_api.h"

namespace dorvane::wintest {

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, base);
        static unsigned counter = 0;
        path_ = std::filesystem::path(std::wstring(base, length)) /
                (L"dorvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Folder text without a trailing "\".
    std::string Text() const { return AnsiFromWide(path_.wstring()); }
    std::string File(const std::string& name) const { return Text() + "\\" + name; }

private:
    std::filesystem::path path_;
};

}  // namespace dorvane::wintest
