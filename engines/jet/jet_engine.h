#pragma once
// The built-in Access engine behind the file-database interface the
// operations use.

#include <memory>

#include "core/components/file_database_engine.h"

namespace dorvane::jet {

std::unique_ptr<dorvane::FileDatabaseEngine> MakeEngine();

}  // namespace dorvane::jet
