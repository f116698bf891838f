#pragma once
// Stand-ins for components a build does not have: every call fails with a
// clear description, so a run reports honest failures.

#include <memory>

#include "core/components/file_database_engine.h"
#include "core/components/sql_client.h"

namespace dorvane {

std::unique_ptr<FileDatabaseEngine> MakeUnavailableFileDatabaseEngine();
std::unique_ptr<SqlClient> MakeUnavailableSqlClient();

}  // namespace dorvane
