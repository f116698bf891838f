#include <string>

#include "platform/wide_text.h"
#include "platform/system_error.h"
#include "platform/windows_api.h"

namespace dorvane::platform {

OsError LastOsError() { return ::GetLastError(); }

Cause CauseOf(OsError code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_NAME:
            return Cause::kNotFound;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return Cause::kExists;
        case ERROR_ACCESS_DENIED:
            return Cause::kDenied;
        case ERROR_WRITE_PROTECT:
            return Cause::kReadOnly;
        case ERROR_DIRECTORY_NOT_SUPPORTED:
            return Cause::kIsFolder;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Cause::kFull;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return Cause::kInUse;
        default:
            return Cause::kOther;
    }
}

std::string SystemDescription(OsError code) {
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    if (message.empty()) return "system error " + std::to_string(code);
    return Utf8FromWide(message);
}

}  // namespace dorvane::platform
