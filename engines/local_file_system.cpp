#include "engines/local_file_system.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/error.h"
#include "core/paths.h"
#include "engines/native_path.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dorvane {
namespace {

namespace fs = std::filesystem;

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

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

#ifndef _WIN32
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

void SyncFolder(const fs::path& folder) {
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) (void)::fsync(dir.get());
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

bool LocalFileSystem::Exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(ToNativePath(path), ec);
}

#ifndef _WIN32
void LocalFileSystem::CopyFile(const std::string& source, const std::string& destination) {
    const fs::path from = ToNativePath(source);
    const fs::path to = ToNativePath(destination);
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

    const fs::path staging = to.parent_path() / ("." + to.filename().string() + ".dorvane-copy");
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
    SyncFolder(to.parent_path());
}

void LocalFileSystem::DeleteFile(const std::string& path) {
    const fs::path native = ToNativePath(path);
    if (::unlink(native.c_str()) != 0) {
        if (errno == ENOENT) return;
        Fail(errno, "Cannot delete", path);
    }
    SyncFolder(native.parent_path());
}

void LocalFileSystem::RenameReplace(const std::string& from, const std::string& to) {
    const fs::path target = ToNativePath(to);
    if (::rename(ToNativePath(from).c_str(), target.c_str()) != 0) Fail(errno, "Cannot rename to", to);
    SyncFolder(target.parent_path());
}

void LocalFileSystem::AppendToFile(const std::string& path, std::string_view bytes) {
    Fd fd(::open(ToNativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.valid()) Fail(errno, "Cannot open", path);
    WriteAll(fd.get(), bytes.data(), bytes.size(), path);
    if (fd.Close() != 0) Fail(errno, "Cannot write", path);
}
#else
void LocalFileSystem::CopyFile(const std::string& source, const std::string& destination) {
    const fs::path to = ToNativePath(destination);
    const fs::path staging = to.parent_path() / ("~" + to.filename().string() + ".dorvane-copy");
    std::error_code ec;
    fs::remove(staging, ec);
    if (!fs::copy_file(ToNativePath(source), staging, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(staging, ec);
        throw Error(errc::kIoError, "Cannot copy '" + source + "' to '" + destination + "': " + ec.message());
    }
    fs::rename(staging, to, ec);
    if (ec) {
        fs::remove(staging, ec);
        throw Error(errc::kInUse, "Cannot replace '" + destination + "': " + ec.message());
    }
}

void LocalFileSystem::DeleteFile(const std::string& path) {
    std::error_code ec;
    fs::remove(ToNativePath(path), ec);
    if (ec) throw Error(errc::kPermissionDenied, "Cannot delete '" + path + "': " + ec.message());
}

void LocalFileSystem::RenameReplace(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(ToNativePath(from), ToNativePath(to), ec);
    if (ec) throw Error(errc::kIoError, "Cannot rename to '" + to + "': " + ec.message());
}

void LocalFileSystem::AppendToFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(ToNativePath(path), std::ios::binary | std::ios::app);
    if (!out) throw Error(errc::kPathNotFound, "Cannot open '" + path + "'");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw Error(errc::kIoError, "Cannot write '" + path + "'");
}
#endif

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

}  // namespace dorvane
