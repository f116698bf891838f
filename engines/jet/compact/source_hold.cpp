#include "engines/jet/compact/source_hold.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "core/error.h"

namespace dorvane::jet::compact {

#ifdef _WIN32

namespace {

std::string Cannot(const std::filesystem::path& source) { return "cannot compact \"" + source.string() + "\": "; }

void* OpenOrThrow(const std::filesystem::path& path, const std::filesystem::path& source, DWORD access, DWORD share) {
    HANDLE h = ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        throw Error(errc::kFileNotFound, Cannot(source) + "the file does not exist");
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        throw Error(errc::kInUse, Cannot(source) + "the database is in use");
    throw Error(errc::kPermissionDenied, Cannot(source) + "the file cannot be opened");
}

}  // namespace

SourceHold::SourceHold(const std::filesystem::path& source) {
    database_ = OpenOrThrow(source, source, GENERIC_READ, FILE_SHARE_READ);
    const std::filesystem::path ldb = LockFilePath(source);
    std::error_code ignored;
    if (std::filesystem::exists(ldb, ignored)) {
        try {
            lock_file_ = OpenOrThrow(ldb, source, GENERIC_READ | GENERIC_WRITE, 0);
        } catch (...) {
            ::CloseHandle(database_);
            throw;
        }
    }
}

SourceHold::~SourceHold() {
    if (lock_file_) ::CloseHandle(lock_file_);
    if (database_) ::CloseHandle(database_);
}

#else

SourceHold::SourceHold(const std::filesystem::path& source) : hold_(ExclusiveHold::Acquire(source)) {}

SourceHold::~SourceHold() = default;

#endif

}  // namespace dorvane::jet::compact
