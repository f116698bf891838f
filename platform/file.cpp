// The parts of the file layer that every system shares.

#include "platform/file.h"

#include <map>
#include <mutex>

#include "core/error.h"
#include "platform/system_error.h"

namespace dorvane::platform {

namespace fs = std::filesystem;

fs::path StagingPathFor(const fs::path& target) {
    fs::path name(".");
    name += target.filename();
    name += ".dorvane-copy";
    return target.parent_path() / name;
}

namespace {

fs::path WhereItLies(const fs::path& target) {
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) return target;
    fs::path resolved = fs::canonical(target, ec);
    return ec ? target : resolved;
}

// The standing claims, by the file's path with links resolved, so that a
// claim of the same file under another spelling joins too.
struct StandingClaims {
    struct Entry {
        File file;
        std::uint64_t id;
    };
    std::mutex mutex;
    std::map<fs::path, Entry> entries;
    std::uint64_t last_id = 0;
};

StandingClaims& Standing() {
    static StandingClaims claims;
    return claims;
}

fs::path StandingKey(const fs::path& path) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(path, ec);
    if (!ec) return key;
    key = fs::absolute(path, ec);
    return ec ? path.lexically_normal() : key.lexically_normal();
}

}  // namespace

std::optional<File> File::JoinStanding(const fs::path& path) {
    StandingClaims& claims = Standing();
    const std::lock_guard lock(claims.mutex);
    if (claims.entries.empty()) return std::nullopt;
    const auto entry = claims.entries.find(StandingKey(path));
    if (entry == claims.entries.end()) return std::nullopt;
    File joined = entry->second.file.Duplicate();
    joined.path_ = path;
    return joined;
}

std::optional<StandingClaim> StandingClaim::Take(const fs::path& path, Access access) {
    std::optional<File> file = File::OpenClaimed(path, access, Use::kExclusive, kWholeFile);
    if (!file) return std::nullopt;
    StandingClaims& claims = Standing();
    const std::lock_guard lock(claims.mutex);
    fs::path key = StandingKey(path);
    // One that stands already was joined above; it ends with its first taker.
    if (claims.entries.count(key) != 0) return StandingClaim(std::move(key), 0);
    const std::uint64_t id = ++claims.last_id;
    claims.entries.emplace(key, StandingClaims::Entry{std::move(*file), id});
    return StandingClaim(std::move(key), id);
}

StandingClaim::StandingClaim(StandingClaim&& other) noexcept
    : key_(std::move(other.key_)), id_(std::exchange(other.id_, 0)) {}

StandingClaim& StandingClaim::operator=(StandingClaim&& other) noexcept {
    if (this != &other) {
        Release();
        key_ = std::move(other.key_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

StandingClaim::~StandingClaim() { Release(); }

void StandingClaim::Release() noexcept {
    if (id_ == 0) return;
    StandingClaims& claims = Standing();
    const std::lock_guard lock(claims.mutex);
    // Ended already (the file was replaced) unless the entry is still this one's.
    const auto entry = claims.entries.find(key_);
    if (entry != claims.entries.end() && entry->second.id == id_) claims.entries.erase(entry);
    id_ = 0;
}

void StandingClaim::End(const fs::path& path) noexcept {
    StandingClaims& claims = Standing();
    const std::lock_guard lock(claims.mutex);
    if (claims.entries.empty()) return;
    try {
        claims.entries.erase(StandingKey(path));
    } catch (...) {  // a path that cannot be resolved stands under no key
    }
}

Replacement::Replacement(const fs::path& target, unsigned permissions)
    : target_(WhereItLies(target)), stagingPath_(StagingPathFor(target_)) {
    bool exists = true;
    try {
        claim_ = File::OpenClaimed(target_, Access::kReadWrite, Use::kExclusive, kWholeFile);
    } catch (const Error& e) {
        if (e.number() != errc::kFileNotFound) throw;
        exists = false;
    }
    if (exists && !claim_) throw PathError(errc::kInUse, target_, "replace", "the file is in use by another program");
    if (claim_) {
        std::error_code ec;
        const fs::file_status status = fs::status(target_, ec);
        if (!ec) permissions = static_cast<unsigned>(status.permissions() & fs::perms::mask);
    }
    std::error_code ignored;
    fs::remove(stagingPath_, ignored);  // a leftover of an interrupted replacement is ours
    staging_ = File::CreateNew(stagingPath_, permissions);
    created_ = true;
}

Replacement::~Replacement() {
    if (committed_ || !created_) return;
    staging_.CloseQuietly();
    std::error_code ignored;
    fs::remove(stagingPath_, ignored);
}

}  // namespace dorvane::platform
