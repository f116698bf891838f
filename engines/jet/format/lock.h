#pragma once
// "In use" for Access files. A product that has a database open shows it by
// byte-range locks on the database or on its lock file (name.ldb beside it);
// through a Samba share these appear as fcntl locks. On Windows the database
// cannot be opened with the sharing it needs.
//
// ReadHold: a shared claim on the database for as long as a reader has it
// open. It fails only when someone holds the database exclusively for more
// than the moment in which a reader asks whether it is alone: products
// that merely have it open (their user locks) do not keep a reader out, as
// the lookup reads while a product runs. On POSIX it also keeps rewriters
// out; on Windows a rewriter may still read, and replacing the file is then
// refused while the reader has it open.
// ExclusiveHold: for rewriting. It fails when anyone else holds any lock on
// the database or on its lock file, or has either open for writing, and then
// keeps everyone else from writing or claiming them.
//
// StandingHold: an ExclusiveHold kept over the several steps of a
// maintenance run (compaction, a kept copy, the copy back). The process's
// own holds, readers and replacement of the database join it rather than
// being refused; a replacement of the database ends its claim of the file.
//
// All throw dorvane::Error(errc::kInUse, ...) when the database is in use and
// kFileNotFound when it is missing. They are claims of the platform layer
// (platform/file.h): byte-range and whole-file (flock) locks on POSIX, share
// modes on Windows; two holds in one process see each other as well, unless
// one of them is a StandingHold.

#include <filesystem>
#include <optional>
#include <utility>

#include "platform/file.h"

namespace dorvane::jet {

// name.ldb for name.mdb / name.mde (same folder, same base name).
std::filesystem::path LockFilePath(const std::filesystem::path& database);

// Jet's user locks: one byte per user slot at 0x10000000 + slot, slot 1..255.
inline constexpr long long kUserLockFirst = 0x10000001;
inline constexpr long long kUserLockCount = 0xFF;

class ReadHold {
public:
    static ReadHold Acquire(const std::filesystem::path& database);
    ReadHold(ReadHold&& other) noexcept = default;
    ReadHold& operator=(ReadHold&& other) noexcept = default;
    ReadHold(const ReadHold&) = delete;
    ReadHold& operator=(const ReadHold&) = delete;
    ~ReadHold() = default;
    void Release() { database_ = {}; }

private:
    explicit ReadHold(platform::File database) : database_(std::move(database)) {}
    platform::File database_;
};

class ExclusiveHold {
public:
    static ExclusiveHold Acquire(const std::filesystem::path& database);
    ExclusiveHold(ExclusiveHold&& other) noexcept = default;
    ExclusiveHold& operator=(ExclusiveHold&& other) noexcept = default;
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    ~ExclusiveHold() = default;
    void Release();

private:
    ExclusiveHold() = default;
    platform::File database_;
    platform::File lock_file_;
};

class StandingHold {
public:
    static StandingHold Acquire(const std::filesystem::path& database);

private:
    StandingHold() = default;
    std::optional<platform::StandingClaim> database_;
    std::optional<platform::StandingClaim> lock_file_;
};

}  // namespace dorvane::jet
