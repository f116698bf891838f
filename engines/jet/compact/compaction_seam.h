#pragma once
// The test seam of compaction: CompactFile with a hook that may change the
// finished copy just before it is verified. Tests make a wrong copy through
// it and see the verification refuse it; the program never passes a hook.

#include <filesystem>
#include <functional>

#include "engines/jet/compact/compaction.h"

namespace dorvane::jet {

using BeforeVerification = std::function<void(const std::filesystem::path& copy)>;

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination, CompactSummary& summary,
                 const BeforeVerification& before_verification);
void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination, RepairReport& report,
                const BeforeVerification& before_verification);

}  // namespace dorvane::jet
