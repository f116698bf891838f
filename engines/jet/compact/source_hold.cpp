#include "engines/jet/compact/source_hold.h"

namespace dorvane::jet::compact {

SourceHold::SourceHold(const std::filesystem::path& source) : hold_(ExclusiveHold::Acquire(source)) {}

}  // namespace dorvane::jet::compact
