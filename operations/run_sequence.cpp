#include <exception>

#include "core/database_kind.h"
#include "core/run_control.h"
#include "core/runtime.h"
#include "operations/operations.h"
#include "operations/run_sequence.h"

namespace dorvane {

void RunMaintenance(Runtime& rt) {
    OptimizeFrontEnd(rt);
    if (rt.ctx.DbKind == kSqlServerKind) {
        BackupSqlDb(rt);
    } else {
        RepairBackEnd(rt);
        BackupAccessDb(rt);
    }
}

int Main(Runtime& rt, std::string_view arguments, const ShowWindowFn& showWindow) {
    int status = 0;
    try {
        rt.ctx.RunMode = ParseCommandLine(rt.ctx, arguments);
        ReadDatabaseKind(rt.settings, rt.ctx);
        if (rt.ctx.RunMode.empty()) {
            if (!showWindow || !showWindow(rt)) status = 1;
        } else {
            RunMaintenance(rt);
        }
    } catch (const std::exception&) {
        status = 1;  // nothing ends the run early: the separator still follows
    }
    WriteLog(rt, kSeparatorLine);
    if (rt.any_operation_failed) {
        status = 1;  // a failure is the first thing a scheduler must see
    } else if (status == 0 && rt.data_not_all_kept) {
        status = 2;
    }
    return status;
}

}  // namespace dorvane
