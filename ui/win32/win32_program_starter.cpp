#include "ui/win32/win32_program_starter.h"

#include <string>

#include "core/error.h"
#include "platform/wide_text.h"
#include "platform/windows_api.h"

namespace dorvane::win32ui {

void Win32ProgramStarter::Start(const std::string& commandLine, int windowStyle) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION process{};
    std::wstring line = WideFromUtf8(commandLine);  // the system may write to it
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        throw Error(
            error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? errc::kFileNotFound : errc::kInternal,
            "Cannot start '" + commandLine + "' (system error " + std::to_string(error) + ")");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace dorvane::win32ui
