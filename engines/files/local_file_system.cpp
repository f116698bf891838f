#include "engines/files/local_file_system.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/error.h"
#include "core/paths.h"
#include "platform/native_path.h"

#ifdef _WIN32
#include "core/windows_api.h"

#include <algorithm>

#include "core/ansi_text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dorvane {
namespace {

namespace fs = std::filesystem;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

#ifndef _WIN32
[[noreturn]] void Fail(int error, const std::string& what, const std::string& pathText) {
    long number = errc::kIoError;
    std::string reason;
    switch (error) {
        case ENOENT: number = errc::kFileNotFound; reason = "file or folder not found"; break;
        case ENOTDIR: number = errc::kPathNotFound; reason = "path not found"; break;
        case EACCES:
        case EPERM:
        case EROFS: number = errc::kPermissionDenied; reason = "permission denied"; break;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            number = errc::kDiskFull; reason = "disk full"; break;
        case EEXIST: number = errc::kFileAlreadyExists; reason = "file already exists"; break;
        case EAGAIN:
#if defined(EWOULDBLOCK) && EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            number = errc::kInUse; reason = "the file is in use by another process"; break;
        default: reason = std::strerror(error); break;
    }
    throw Error(number, what + " '" + pathText + "': " + reason);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing can report a write-back failure, so it is checked where data was written.
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

void WriteAll(int fd, const char* data, std::size_t size, const std::string& pathText) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, "Cannot write", pathText);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Makes a rename or delete in the folder durable. A device error means the
// change may not survive a power cut, so the caller must not build on it;
// file systems that cannot flush folders (EINVAL) are taken as they are.
void SyncFolder(const fs::path& folder, const std::string& pathText) {
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return;
    if (::fsync(dir.get()) != 0 && (errno == EIO || errno == ENOSPC)) Fail(errno, "Cannot flush the folder of", pathText);
}

// A whole-file write lock on an existing file, refused when another process
// holds any lock on it (as a product that has the database open does).
void RefuseIfLocked(int fd, const std::string& pathText) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &lock) != 0) {
        if (errno == EAGAIN || errno == EACCES) Fail(EAGAIN, "Cannot replace", pathText);
        Fail(errno, "Cannot lock", pathText);
    }
}
#endif

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

#ifndef _WIN32
bool LocalFileSystem::Exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(ToNativePath(path), ec);
}

void LocalFileSystem::CopyFile(const std::string& source, const std::string& destination) {
    const fs::path from = ToNativePath(source);
    fs::path to = ToNativePath(destination);
    // A database reached through a symbolic link is replaced where it lies,
    // not by a regular file in place of the link.
    std::error_code linkError;
    if (fs::is_symlink(to, linkError)) {
        const fs::path target = fs::canonical(to, linkError);
        if (!linkError) to = target;
    }
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) Fail(errno, "Cannot open", source);
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0) Fail(errno, "Cannot read", source);

    // The copy goes to a file beside the destination and replaces it by a
    // rename once it is on disk, so a failure part-way leaves the destination
    // as it was.
    Fd existing(::open(to.c_str(), O_RDWR | O_CLOEXEC));
    struct stat destStat {};
    const bool replacing = existing.valid() && ::fstat(existing.get(), &destStat) == 0;
    if (existing.valid()) RefuseIfLocked(existing.get(), destination);
    else if (errno != ENOENT) Fail(errno, "Cannot open", destination);

    const fs::path staging = to.parent_path() / (std::string(".").append(to.filename().string()).append(".dorvane-copy"));
    ::unlink(staging.c_str());  // a leftover of an interrupted copy is ours
    const mode_t mode = replacing ? (destStat.st_mode & 07777) : (sourceStat.st_mode & 07777);
    Fd out(::open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!out.valid()) Fail(errno, "Cannot create a file beside", destination);
    try {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno, "Cannot read", source);
            }
            if (n == 0) break;
            WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n), destination);
        }
        if (replacing) {
            (void)::fchmod(out.get(), destStat.st_mode & 07777);
            (void)::fchown(out.get(), destStat.st_uid, destStat.st_gid);
        }
        if (::fsync(out.get()) != 0) Fail(errno, "Cannot flush", destination);
        if (out.Close() != 0) Fail(errno, "Cannot write", destination);
        if (::rename(staging.c_str(), to.c_str()) != 0) Fail(errno, "Cannot replace", destination);
    } catch (...) {
        ::unlink(staging.c_str());
        throw;
    }
    SyncFolder(to.parent_path(), destination);
}

void LocalFileSystem::DeleteFile(const std::string& path) {
    const fs::path native = ToNativePath(path);
    if (::unlink(native.c_str()) != 0) {
        if (errno == ENOENT) return;
        Fail(errno, "Cannot delete", path);
    }
    SyncFolder(native.parent_path(), path);
}

void LocalFileSystem::RenameReplace(const std::string& from, const std::string& to) {
    const fs::path target = ToNativePath(to);
    if (::rename(ToNativePath(from).c_str(), target.c_str()) != 0) Fail(errno, "Cannot rename to", to);
    SyncFolder(target.parent_path(), to);
}

void LocalFileSystem::AppendToFile(const std::string& path, std::string_view bytes) {
    Fd fd(::open(ToNativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.valid()) Fail(errno, "Cannot open", path);
    WriteAll(fd.get(), bytes.data(), bytes.size(), path);
    if (fd.Close() != 0) Fail(errno, "Cannot write", path);
}

std::vector<std::string> LocalFileSystem::ListMatching(const std::string& folder, std::string_view pattern) {
    std::vector<std::string> matches;
    std::error_code ec;
    fs::directory_iterator it(ToNativePath(folder.empty() ? std::string("\\") : folder), ec);
    if (ec) return matches;
    for (const auto& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::string name = entry.path().filename().string();
        if (WildcardMatch(pattern, name)) matches.push_back(JoinPath(folder, name));
    }
    return matches;
}

#else
namespace {

[[noreturn]] void FailWin(DWORD error, const std::string& what, const std::string& pathText) {
    long number = errc::kIoError;
    std::string reason;
    switch (error) {
        case ERROR_FILE_NOT_FOUND: number = errc::kFileNotFound; reason = "file not found"; break;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH: number = errc::kPathNotFound; reason = "path not found"; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: number = errc::kPermissionDenied; reason = "permission denied"; break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            number = errc::kInUse; reason = "the file is in use by another process"; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: number = errc::kDiskFull; reason = "disk full"; break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: number = errc::kFileAlreadyExists; reason = "file already exists"; break;
        default: {
            wchar_t* text = nullptr;
            const DWORD length = FormatMessageW(
                FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
            if (length > 0 && text != nullptr) {
                std::wstring message(text, length);
                while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                            message.back() == L'.' || message.back() == L' ')) {
                    message.pop_back();
                }
                reason = AnsiFromWide(message);
            }
            if (text != nullptr) LocalFree(text);
            if (reason.empty()) reason = "system error " + std::to_string(error);
            break;
        }
    }
    throw Error(number, what + " '" + pathText + "': " + reason);
}

// Path text is the system's own form here; it only changes encoding.
std::wstring NativeWide(const std::string& pathText) { return WideFromAnsi(pathText); }

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Closing can report a write-back failure, so it is checked where data was written.
    bool Close() {
        const BOOL ok = CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok != 0;
    }

private:
    HANDLE h_;
};

void WriteAll(HANDLE file, const char* data, std::size_t size, const std::string& pathText) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) FailWin(GetLastError(), "Cannot write", pathText);
        data += written;
        size -= written;
    }
}

// The staging copy beside the destination is deleted on every way out
// unless it has replaced the destination.
class StagingFile {
public:
    explicit StagingFile(std::wstring path) : path_(std::move(path)) {}
    ~StagingFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;
    const std::wstring& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::wstring path_;
};

}  // namespace

bool LocalFileSystem::Exists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(NativeWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void LocalFileSystem::CopyFile(const std::string& source, const std::string& destination) {
    const std::wstring from = NativeWide(source);
    const std::wstring to = NativeWide(destination);
    Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid()) FailWin(GetLastError(), "Cannot open", source);

    // Held exclusively until it is replaced, so a product that has the file
    // open makes the copy fail instead of losing its work; the share mode
    // refuses (sharing violation) while anyone else holds it.
    Handle existing(CreateFileW(to.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) FailWin(error, "Cannot replace", destination);
    }

    // The copy goes to a file beside the destination and replaces it once it
    // is on disk, so a failure part-way leaves the destination as it was.
    const std::size_t cut = to.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : to.substr(0, cut + 1);
    const std::wstring name = cut == std::wstring::npos ? to : to.substr(cut + 1);
    StagingFile staging(folder + L"~" + name + L".dorvane-copy");
    Handle out(CreateFileW(staging.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) FailWin(GetLastError(), "Cannot create a file beside", destination);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            FailWin(GetLastError(), "Cannot read", source);
        }
        if (got == 0) break;
        WriteAll(out.get(), buffer.data(), got, destination);
    }
    if (!FlushFileBuffers(out.get())) FailWin(GetLastError(), "Cannot flush", destination);
    if (!out.Close()) FailWin(GetLastError(), "Cannot write", destination);
    existing.Close();
    if (!MoveFileExW(staging.path().c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        FailWin(GetLastError(), "Cannot replace", destination);
    }
    staging.Release();
}

void LocalFileSystem::DeleteFile(const std::string& path) {
    if (!DeleteFileW(NativeWide(path).c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) FailWin(error, "Cannot delete", path);
    }
}

void LocalFileSystem::RenameReplace(const std::string& from, const std::string& to) {
    if (!MoveFileExW(NativeWide(from).c_str(), NativeWide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        FailWin(GetLastError(), "Cannot rename to", to);
    }
}

void LocalFileSystem::AppendToFile(const std::string& path, std::string_view bytes) {
    Handle file(CreateFileW(NativeWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) FailWin(GetLastError(), "Cannot open", path);
    WriteAll(file.get(), bytes.data(), bytes.size(), path);
    if (!file.Close()) FailWin(GetLastError(), "Cannot write", path);
}

std::vector<std::string> LocalFileSystem::ListMatching(const std::string& folder, std::string_view pattern) {
    std::vector<std::string> matches;
    // Every name is matched here rather than by the system's own wildcards,
    // which also match the short 8.3 names.
    const std::wstring all = NativeWide(JoinPath(folder, "*"));
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(all.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return matches;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string name = AnsiFromWide(found.cFileName);
        if (WildcardMatch(pattern, name)) matches.push_back(JoinPath(folder, name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return matches;
}
#endif

}  // namespace dorvane
