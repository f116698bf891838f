// The parts of the file layer that every system shares.

#include "platform/file.h"

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

}  // namespace

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
