#pragma once
// Files on the machine's own file system, behind one narrow interface that
// file_posix.cpp and file_win32.cpp implement (CMake picks one). Every
// failure throws dorvane::Error worded by SystemError (system_error.h).
//
// Other programs' use of a file is seen, and ours announced, the way the
// programs of each system do it: on Windows by the share mode of an open (a
// conflicting open fails with a sharing violation); on POSIX by advisory
// locks of both kinds, byte ranges (fcntl, on open file descriptions where
// the system has them so that two claims in one process see each other too)
// and whole files (flock): a Samba server shows its Windows clients' opens
// and locks as the first, other Linux programs use either.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace dorvane::platform {

enum class Access { kRead, kReadWrite };

// How a claimed file is used.
//   kShared: reading (and writing) alongside others; conflicts only with
//     exclusive use. Windows: others may read and write. POSIX: a read lock
//     and a shared flock.
//   kExclusive: nobody else writes it or holds it exclusively. Windows:
//     others may only read, readers' shared claims included (the program's
//     own second handle reads it). POSIX: a write lock and an exclusive
//     flock, which keep shared claims out too; opened read-only, a read lock,
//     refused while anyone else holds any lock in the range.
enum class Use { kShared, kExclusive };

// Bytes [start, start + length); length 0 runs to any end. POSIX locks the
// range; a Windows share mode always covers the whole file.
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};
inline constexpr ByteRange kWholeFile{};

// One open file, closed when it goes. Move-only.
class File {
public:
    // The system's handle: a file descriptor, or a Windows HANDLE.
#ifdef _WIN32
    using Native = void*;
#else
    using Native = int;
#endif

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // An existing file that others may go on reading and writing. A folder
    // is refused.
    static File Open(const std::filesystem::path& path, Access access);
    // Opens and claims for `use` over `range`; nullopt when another
    // program's claim conflicts. Throws for every other failure.
    static std::optional<File> OpenClaimed(const std::filesystem::path& path, Access access, Use use, ByteRange range);
    // A new file; an existing file of the name is refused (kFileAlreadyExists)
    // and left alone. `permissions` are POSIX mode bits.
    static File CreateNew(const std::filesystem::path& path, unsigned permissions = 0666);
    // For appending, created when missing.
    static File OpenForAppend(const std::filesystem::path& path);
    // Opened (created when missing) and locked exclusively, waiting for any
    // other holder of the same lock to let go: serialises work between
    // processes that agree to lock this file.
    static File OpenLockedWaiting(const std::filesystem::path& path);

    bool is_open() const;
    const std::filesystem::path& path() const { return path_; }

    std::uint64_t Size() const;
    // Exactly out.size() bytes at offset. A file that ends before them is an
    // I/O error (kIoError), not damage to its content: the file changed under
    // the reader or the device failed.
    void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The next bytes in sequence; 0 at the end.
    std::size_t Read(std::span<std::uint8_t> out);
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // At the end (files opened for appending) or after the last write.
    void Write(std::string_view bytes);
    // Sets the length. Every byte takes real space on disk, so a full disk
    // shows here rather than on a later write.
    void SetLength(std::uint64_t length);
    // To stable storage.
    void Flush();
    // Whether Flush may run on one thread while another writes the same file
    // without holding the writes up. Windows serialises the requests on a
    // handle opened for synchronous use, so there it would.
#ifdef _WIN32
    static constexpr bool kFlushesBesideWrites = false;
#else
    static constexpr bool kFlushesBesideWrites = true;
#endif
    // Asks the system to start writing what was written so far to storage,
    // without waiting for it, so that a later Flush has less left to do.
    // Only a hint: it reports nothing, and where the system has no such
    // request (Windows) it does nothing.
    void StartWriteBack() noexcept;
    // Closes now; a failure to write back buffered data is reported.
    void Close();

private:
    friend class Replacement;
    friend class StandingClaim;
    friend void FlushFolder(const std::filesystem::path& folder);
    File(Native handle, std::filesystem::path path);
    void CloseQuietly() noexcept;
    // A second handle of the same open file, sharing its claim.
    File Duplicate() const;
    // The process's standing claim of `path`, joined; nullopt when none stands.
    static std::optional<File> JoinStanding(const std::filesystem::path& path);

#ifdef _WIN32
    Native handle_ = nullptr;
#else
    Native handle_ = -1;
#endif
    std::filesystem::path path_;
};

// A claim this process keeps over the several steps of one piece of work
// (a database compacted, a copy of it kept, the compacted copy put back),
// so that no other program takes the file between them. Other programs are
// kept out as by OpenClaimed with Use::kExclusive. While it stands, the
// process's own claims of the file join it (OpenClaimed gives a second
// handle of the same claim) rather than being refused, and a Replacement of
// the file ends it as the new version takes the file's place.
class StandingClaim {
public:
    // Claims `path`; nullopt when another program's claim conflicts.
    static std::optional<StandingClaim> Take(const std::filesystem::path& path, Access access);
    StandingClaim(StandingClaim&& other) noexcept;
    StandingClaim& operator=(StandingClaim&& other) noexcept;
    StandingClaim(const StandingClaim&) = delete;
    StandingClaim& operator=(const StandingClaim&) = delete;
    ~StandingClaim();

    // Ends the claim of `path`, if one stands (a Replacement's new version
    // takes its place).
    static void End(const std::filesystem::path& path) noexcept;

private:
    StandingClaim(std::filesystem::path key, std::uint64_t id) : key_(std::move(key)), id_(id) {}
    void Release() noexcept;

    std::filesystem::path key_;
    std::uint64_t id_ = 0;  // 0: moved from
};

// Makes the folder's names (a new, renamed or deleted file) durable. A
// folder that cannot be flushed is an error: the change may not survive a
// power cut, and the caller must not build on it. File systems that cannot
// flush folders at all are taken as they are; on Windows there is nothing to
// do, as renames there are made with write-through.
void FlushFolder(const std::filesystem::path& folder);

// Renames, replacing `to` in one step, then flushes the folder.
void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Deletes a file, then flushes its folder. False when there was none.
bool RemoveFile(const std::filesystem::path& path);

// A new version of `target`, written under a staging name beside it and put
// in its place in one step. Until Commit the target is claimed exclusively,
// so a file that another program writes or holds is refused (kInUse) before
// anything is written (on Windows a mere reader is refused by the replacement
// itself); any failure leaves the target as it was and removes the staging
// file. The new version keeps what the system lets it keep of the target:
// POSIX its mode and owner; Windows (ReplaceFileW) its security descriptor,
// attributes and creation time. A target reached through a symbolic link is
// replaced where it lies.
class Replacement {
public:
    // `permissions`: POSIX mode bits for a target that does not exist yet.
    Replacement(const std::filesystem::path& target, unsigned permissions);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    File& file() { return staging_; }
    const std::filesystem::path& target() const { return target_; }
    // Flushes the new content, replaces the target and flushes the folder.
    void Commit();
    // After a failure: whether the target is known to be as it was, that is
    // the new version never took its place (a failure to flush the folder
    // comes after it did).
    bool TargetUnchanged() const { return !committed_ && !targetMoved_; }

private:
    std::filesystem::path target_;
    std::filesystem::path stagingPath_;
    std::optional<File> claim_;  // the target, when it exists
    File staging_;
    bool created_ = false;
    bool committed_ = false;
    bool targetMoved_ = false;  // Windows: left under another name by a failed replacement
};

// The name a Replacement writes under: ".<name>.dorvane-copy" beside target.
std::filesystem::path StagingPathFor(const std::filesystem::path& target);

}  // namespace dorvane::platform
