#pragma once
// The run itself: start-up and the maintenance sequence, above the operations
// it calls.

#include <functional>
#include <string_view>

namespace dorvane {

class Runtime;

// OptimizeFrontEnd; then BackupSqlDb for DbKind 1, else RepairBackEnd and
// BackupAccessDb.
void RunMaintenance(Runtime& rt);

// Shows the window modally and returns when it closes; false when no window
// can be shown (the reason already reported to the user).
using ShowWindowFn = std::function<bool(Runtime&)>;

// The program: parse, read DbKind, window or maintenance, separator line.
// Returns the process exit status: 0 when every operation succeeded, 1 when
// any failed or the window could not be shown, 2 when all succeeded but a
// repair could not keep all the data.
int Main(Runtime& rt, std::string_view arguments, const ShowWindowFn& showWindow);

}  // namespace dorvane
