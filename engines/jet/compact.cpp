#include "engines/jet/compact.h"

#include "core/error.h"

namespace dorvane::jet {

void CompactFile(const std::filesystem::path&, const std::filesystem::path&) {
    throw Error(errc::kNotAvailable, "compaction is not available in this build");
}

}  // namespace dorvane::jet
