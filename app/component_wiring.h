#pragma once
// The components this build has, or stand-ins that fail clearly.

#include <memory>

#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/settings/settings_store.h"
#include "core/components/file_database_engine.h"
#include "core/components/sql_client.h"

namespace dorvane {

std::unique_ptr<SettingsStore> MakeSettingsStore();
std::unique_ptr<FileDatabaseEngine> MakeFileDatabaseEngine();
std::unique_ptr<SqlClient> MakeSqlClient();
ShowWindowFn MakeShowWindow();

}  // namespace dorvane
