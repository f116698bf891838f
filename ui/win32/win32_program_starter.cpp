#include "ui/win32/win32_program_starter.h"

#include <vector>

#include "core/error.h"
#include "platform/windows_api.h"

namespace dorvane::win32ui {

void Win32ProgramStarter::Start(const std::string& commandLine, int windowStyle) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());  // the system may write to it
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD error = GetLastError();
        throw Error(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                        ? errc::kFileNotFound
                        : errc::kInternal,
                    "Cannot start '" + commandLine + "' (system error " + std::to_string(error) + ")");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace dorvane::win32ui
