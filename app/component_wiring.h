#pragma once
// The components this build has, or stand-ins that fail clearly.

#include <memory>
#include <string>
#include <vector>

#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/settings/settings_store.h"
#include "core/components/file_database_engine.h"
#include "core/components/sql_client.h"

namespace dorvane {

std::unique_ptr<SettingsStore> MakeSettingsStore();
std::unique_ptr<FileDatabaseEngine> MakeFileDatabaseEngine();
std::unique_ptr<SqlClient> MakeSqlClient();
// The window of this build, or the window program it hands over to, given
// the program's arguments.
ShowWindowFn MakeShowWindow(const std::vector<std::string>& arguments);

}  // namespace dorvane
