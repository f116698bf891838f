#include "engines/jet/format/lock.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>
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
template <typename Claim>
auto ClaimExclusively(const std::filesystem::path& path, Claim claim) {
    try {
        return claim(path, platform::Access::kReadWrite);
    } catch (const Error& e) {
        if (e.number() != errc::kPermissionDenied) throw;
    }
    return claim(path, platform::Access::kRead);
}

std::optional<platform::File> ClaimFile(const std::filesystem::path& path, platform::Access access) {
    return platform::File::OpenClaimed(path, access, platform::Use::kExclusive, platform::kWholeFile);
}

// The database, then its lock file where there is one, each put by `keep`
// into the hold.
template <typename Claim, typename Keep>
void ClaimDatabase(const std::filesystem::path& database, Claim claim, Keep keep) {
    auto file = ClaimExclusively(database, claim);
    if (!file) ThrowInUse(database, ErrorText("another program has it open"));
    keep(std::move(*file), false);
    const std::filesystem::path ldb = LockFilePath(database);
    std::error_code ignored;
    if (!std::filesystem::exists(ldb, ignored)) return;
    auto lockFile = ClaimExclusively(ldb, claim);
    if (!lockFile) ThrowInUse(database, ErrorText("a user holds its lock file ").Path(PathText(ldb)));
    keep(std::move(*lockFile), true);
}

}  // namespace

ReadHold ReadHold::Acquire(const std::filesystem::path& database) {
    // A reader asking whether it is alone holds the file exclusively for a
    // moment: only a claim that outlasts a few of those keeps a reader out.
    constexpr int kAsks = 25;
    constexpr auto kBetweenAsks = std::chrono::milliseconds(2);
    for (int ask = 1;; ++ask) {
        std::optional<platform::File> file =
            platform::File::OpenClaimed(database, platform::Access::kRead, platform::Use::kShared, kBelowJetLocks);
        if (file) return ReadHold(std::move(*file));
        if (ask == kAsks) ThrowInUse(database, ErrorText("another program holds it exclusively"));
        std::this_thread::sleep_for(kBetweenAsks);
    }
}

ExclusiveHold ExclusiveHold::Acquire(const std::filesystem::path& database) {
    ExclusiveHold hold;
    ClaimDatabase(database, ClaimFile, [&hold](platform::File file, bool lock_file) {
        (lock_file ? hold.lock_file_ : hold.database_) = std::move(file);
    });
    return hold;
}

StandingHold StandingHold::Acquire(const std::filesystem::path& database) {
    StandingHold hold;
    ClaimDatabase(database, platform::StandingClaim::Take, [&hold](platform::StandingClaim claim, bool lock_file) {
        (lock_file ? hold.lock_file_ : hold.database_).emplace(std::move(claim));
    });
    return hold;
}

void ExclusiveHold::Release() {
    lock_file_ = {};
    database_ = {};
}

}  // namespace dorvane::jet
