#pragma once
// A product-shaped benchmark file of about a given size, Jet 4 or ACE (the
// Access 2010 format, to compare the two on the same rows), made with
// dorvane-jet's own create, import and drop: a doclib table, Customers with
// memo notes and two indexes, Invoices with a unique text key and three more
// indexes, Scans tables of OLE images over several pages each, and the free
// pages of a dropped staging table. Made once and kept in a cache folder,
// since a file near the 2 GiB limit takes minutes to make.

#include <filesystem>
#include <string>

namespace dorvane::bench {

// The cache folder: $DORVANE_BENCH_CACHE, else $XDG_CACHE_HOME/dorvane-bench,
// else ~/.cache/dorvane-bench.
std::filesystem::path BenchCacheFolder();

enum class MadeFormat { kJet4, kAce2010 };

// The file of about `mib` MiB in `cache`, made first when missing with the
// dorvane-jet at `tool`. Throws std::runtime_error naming the step that failed;
// nothing half-made is left under the final name.
std::filesystem::path MadeBenchFile(const std::string& tool, const std::filesystem::path& cache, unsigned mib,
                                    MadeFormat format = MadeFormat::kJet4);

}  // namespace dorvane::bench
