#pragma once
// `dorvane-jet create`: a new, empty Jet 4 (Access 2000) database, or an ACE
// one (Access 2007 and later) with the complex-column tables those hold.

#include <cstdint>
#include <filesystem>

#include "engines/jet/format/format.h"

namespace dorvane::jet::create {

// Throws kFileAlreadyExists when `path` exists (it is left alone), and the
// file system's errors; a failure leaves nothing behind.
void CreateDatabase(const std::filesystem::path& path, std::uint8_t version = kVersionJet4);

// The current time as an OLE date (days since 1899-12-30, UTC).
double OleNow();

}  // namespace dorvane::jet::create
