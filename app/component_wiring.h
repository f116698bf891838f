#pragma once
// The components this build has, or stand-ins that fail clearly.

#include <memory>

#include "core/maintenance.h"
#include "core/settings/settings_store.h"
#include "engines/file_database_engine.h"
#include "engines/sql_client.h"

namespace dorvane {

std::unique_ptr<SettingsStore> MakeSettingsStore();
std::unique_ptr<FileDatabaseEngine> MakeFileDatabaseEngine();
std::unique_ptr<SqlClient> MakeSqlClient();
ShowWindowFn MakeShowWindow();

}  // namespace dorvane
