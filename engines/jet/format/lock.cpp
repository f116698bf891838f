#include "engines/jet/format/lock.h"

#include <string>
#include <utility>

#include "core/error.h"
#include "platform/native_path.h"

namespace dorvane::jet {

std::filesystem::path LockFilePath(const std::filesystem::path& database) {
    std::filesystem::path lock = database;
    lock.replace_extension(".ldb");
    return lock;
}

namespace {

// Only the bytes below Jet's own lock region: a product's user and page
// locks (0x10000000 and up) must not keep a reader out, an exclusive holder
// (the whole file) must.
constexpr platform::ByteRange kBelowJetLocks{0, 0x10000000};

[[noreturn]] void ThrowInUse(const std::filesystem::path& database, const ErrorText& how) {
    ErrorText text("The database ");
    text.Path(PathText(database)) << " is in use: " << how << ".";
    throw Error(errc::kInUse, text);
}

// Read-write where permitted (a write lock needs it), else read-only.
std::optional<platform::File> ClaimExclusively(const std::filesystem::path& path) {
    try {
        return platform::File::OpenClaimed(path, platform::Access::kReadWrite, platform::Use::kExclusive,
                                           platform::kWholeFile);
    } catch (const Error& e) {
        if (e.number() != errc::kPermissionDenied) throw;
    }
    return platform::File::OpenClaimed(path, platform::Access::kRead, platform::Use::kExclusive, platform::kWholeFile);
}

}  // namespace

ReadHold ReadHold::Acquire(const std::filesystem::path& database) {
    std::optional<platform::File> file =
        platform::File::OpenClaimed(database, platform::Access::kRead, platform::Use::kShared, kBelowJetLocks);
    if (!file) ThrowInUse(database, ErrorText("another program holds it exclusively"));
    return ReadHold(std::move(*file));
}

ExclusiveHold ExclusiveHold::Acquire(const std::filesystem::path& database) {
    ExclusiveHold hold;
    std::optional<platform::File> file = ClaimExclusively(database);
    if (!file) ThrowInUse(database, ErrorText("another program has it open"));
    hold.database_ = std::move(*file);

    const std::filesystem::path ldb = LockFilePath(database);
    std::error_code ignored;
    if (!std::filesystem::exists(ldb, ignored)) return hold;
    std::optional<platform::File> lockFile = ClaimExclusively(ldb);
    if (!lockFile) ThrowInUse(database, ErrorText("a user holds its lock file ").Path(PathText(ldb)));
    hold.lock_file_ = std::move(*lockFile);
    return hold;
}

void ExclusiveHold::Release() {
    lock_file_ = {};
    database_ = {};
}

}  // namespace dorvane::jet
