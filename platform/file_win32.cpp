#include <algorithm>
#include <string>
#include <utility>

#include "platform/file.h"
#include "platform/native_path.h"
#include "platform/system_error.h"
#include "platform/windows_api.h"

namespace dorvane::platform {

namespace {

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kLargestChunk = 1u << 30;

// A folder opened as a file reports "access denied"; say what it is instead.
OsError Refined(OsError code, const std::filesystem::path& path) {
    if (code != ERROR_ACCESS_DENIED) return code;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folder ? ERROR_DIRECTORY_NOT_SUPPORTED : code;
}

[[noreturn]] void Fail(const std::filesystem::path& path, std::string_view doing) {
    throw SystemError(Refined(LastOsError(), path), path, doing);
}

HANDLE OpenHandle(const std::filesystem::path& path, DWORD access, DWORD share, DWORD disposition) {
    return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

DWORD Chunk(std::size_t remaining) { return static_cast<DWORD>(std::min<std::size_t>(remaining, kLargestChunk)); }

}  // namespace

File::File(Native handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
File::~File() { CloseQuietly(); }
File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        CloseQuietly();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool File::is_open() const { return handle_ != nullptr; }

void File::CloseQuietly() noexcept {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = nullptr;
}

void File::Close() {
    if (handle_ == nullptr) return;
    // Closing can report a write-back failure.
    if (!::CloseHandle(std::exchange(handle_, nullptr))) Fail(path_, "write");
}

File File::Open(const std::filesystem::path& path, Access access) {
    const DWORD rights = access == Access::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = OpenHandle(path, rights, kShareReadWrite, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) Fail(path, "open");
    return File(handle, path);
}

std::optional<File> File::OpenClaimed(const std::filesystem::path& path, Access access, Use use, ByteRange) {
    if (std::optional<File> joined = JoinStanding(path)) return joined;
    const DWORD rights = access == Access::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = OpenHandle(path, rights, use == Use::kShared ? kShareReadWrite : FILE_SHARE_READ, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        const OsError code = LastOsError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return std::nullopt;
        throw SystemError(Refined(code, path), path, "open");
    }
    return File(handle, path);
}

// The duplicate refers to the same open file, and with it the share mode.
File File::Duplicate() const {
    HANDLE process = ::GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(process, handle_, process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        Fail(path_, "open");
    }
    return File(duplicate, path_);
}

// The verification of a compacted copy reads it while it is still open here.
File File::CreateNew(const std::filesystem::path& path, unsigned) {
    HANDLE handle = OpenHandle(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) Fail(path, "create");
    return File(handle, path);
}

File File::OpenForAppend(const std::filesystem::path& path) {
    HANDLE handle = OpenHandle(path, FILE_APPEND_DATA, kShareReadWrite, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) Fail(path, "open");
    return File(handle, path);
}

File File::OpenLockedWaiting(const std::filesystem::path& path) {
    HANDLE handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, kShareReadWrite, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) Fail(path, "open");
    File file(handle, path);
    OVERLAPPED whole{};
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) Fail(path, "lock");
    return file;
}

std::uint64_t File::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle_, &size)) Fail(path_, "read");
    return static_cast<std::uint64_t>(size.QuadPart);
}

void File::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD got = 0;
        if (!::ReadFile(handle_, out.data() + done, Chunk(out.size() - done), &got, &at) &&
            LastOsError() != ERROR_HANDLE_EOF) {
            Fail(path_, "read");
        }
        if (got == 0)
            throw PathError(errc::kIoError, path_, "read", "the file ended early (was it shortened while open?)");
        done += got;
    }
}

std::size_t File::Read(std::span<std::uint8_t> out) {
    DWORD got = 0;
    if (!::ReadFile(handle_, out.data(), Chunk(out.size()), &got, nullptr)) Fail(path_, "read");
    return got;
}

void File::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes.data() + done, Chunk(bytes.size() - done), &written, &at)) Fail(path_, "write");
        if (written == 0) throw SystemError(ERROR_DISK_FULL, path_, "write");
        done += written;
    }
}

void File::Write(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes.data() + done, Chunk(bytes.size() - done), &written, nullptr)) {
            Fail(path_, "write");
        }
        if (written == 0) throw SystemError(ERROR_DISK_FULL, path_, "write");
        done += written;
    }
}

// Windows allocates every byte of a file that is not sparse when its end moves.
void File::SetLength(std::uint64_t length) {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle_)) Fail(path_, "write");
}

void File::Flush() {
    if (!::FlushFileBuffers(handle_)) Fail(path_, "flush");
}

// FlushFileBuffers waits for the writes; there is no request that only
// starts them.
void File::StartWriteBack() noexcept {}

// Nothing to flush here: renames are asked for with write-through, and the
// file systems journal their folder changes.
void FlushFolder(const std::filesystem::path&) {}

void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail(to, "rename \"" + PathText(from.filename()) + "\" to");
    }
}

bool RemoveFile(const std::filesystem::path& path) {
    if (::DeleteFileW(path.c_str())) return true;
    const OsError code = LastOsError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
    throw SystemError(Refined(code, path), path, "delete");
}

// ReplaceFileW gives the new version the target's security descriptor,
// attributes and creation time. With a name for the earlier version it
// either replaces or leaves both files under their own names, except when
// the new version cannot take the target's name after the target has moved
// aside: then the target is moved back.
void Replacement::Commit() {
    staging_.Flush();
    staging_.Close();
    const bool replacing = claim_.has_value();
    claim_.reset();  // Windows replaces no file that is open, this program's handles included
    if (replacing) StandingClaim::End(target_);
    if (!replacing) {
        if (!::MoveFileExW(stagingPath_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) Fail(target_, "create");
        committed_ = true;
        return;
    }
    std::filesystem::path earlier = stagingPath_;
    earlier.replace_extension(".dorvane-old");
    ::DeleteFileW(earlier.c_str());  // a leftover of an interrupted replacement
    if (!::ReplaceFileW(target_.c_str(), stagingPath_.c_str(), earlier.c_str(), 0, nullptr, nullptr)) {
        const OsError code = LastOsError();
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
            !::MoveFileExW(earlier.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
            targetMoved_ = true;
            throw PathError(errc::kIoError, target_, "replace",
                            "the file was left as \"" + PathText(earlier) + "\" and could not be moved back");
        }
        throw SystemError(code == ERROR_UNABLE_TO_REMOVE_REPLACED ? ERROR_SHARING_VIOLATION : code, target_, "replace");
    }
    committed_ = true;
    ::DeleteFileW(earlier.c_str());  // if it stays, the next replacement removes it
}

}  // namespace dorvane::platform
