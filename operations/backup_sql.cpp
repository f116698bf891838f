#include <string>

#include "core/error.h"
#include "core/error_state.h"
#include "core/paths.h"
#include "core/runtime.h"
#include "operations/operations.h"
#include "operations/report.h"
#include "operations/step_summary.h"

namespace dorvane {
namespace {

bool IsPlainName(const std::string& name) {
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

std::string Doubled(const std::string& text, char quote) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == quote) out += quote;
    }
    return out;
}

}  // namespace

// A value that would end its key early (a ";", a leading "{", edge blanks) is
// braced, as connection strings quote; plain values stay as they are.
std::string ConnectionValue(const std::string& value) {
    const bool plain = value.find(';') == std::string::npos && (value.empty() || value.front() != '{') &&
                       (value.empty() || (value.front() != ' ' && value.back() != ' '));
    return plain ? value : std::string("{").append(Doubled(value, '}')).append("}");
}

std::string BuildConnectionString(const std::string& server, const std::string& databaseName) {
    return "driver={SQL Server};server=" + ConnectionValue(server) + ";database=" + ConnectionValue(databaseName);
}

// Plain names and folders give the statement as the products' scripts have it;
// anything else is quoted so that no setting can add a statement of its own.
std::string BuildBackupStatement(const std::string& databaseName, const std::string& folder) {
    const std::string name =
        IsPlainName(databaseName) ? databaseName : std::string("[").append(Doubled(databaseName, ']')).append("]");
    const std::string file = Doubled(JoinPath(folder, databaseName + ".bak"), '\'');
    return "BACKUP DATABASE " + name + " To DISK = '" + file + "'" +
           " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
}

bool BackupSqlDb(Runtime& rt) {
    bool result = false;
    ErrorState error;
    StepSummary summary(rt);
    std::unique_ptr<SqlConnection> connection;
    std::unique_ptr<SqlCommand> command;
    RunStep(error, [&] { rt.ctx.DbaseName = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DbaseName"); });
    std::string server;
    RunStep(error, [&] { server = GetSetting(rt.settings, rt.ctx.Product, "Locations", "SQLServer", "NA"); });
    RunStep(error, [&] {
        connection = rt.sql.NewConnection();
        command = rt.sql.NewCommand();
    });
    auto requireConnection = [&]() -> SqlConnection& {
        if (!connection) throw Error(errc::kNotAvailable, "the SQL Server client could not be created");
        return *connection;
    };
    auto requireCommand = [&]() -> SqlCommand& {
        if (!command) throw Error(errc::kNotAvailable, "the SQL Server client could not be created");
        return *command;
    };
    RunStep(error, [&] { requireConnection().SetConnectionString(BuildConnectionString(server, rt.ctx.DbaseName)); });
    RunStep(error, [&] { requireConnection().Open(); });
    RunStep(error, [&] { requireCommand().SetActiveConnection(requireConnection()); });
    std::string folder;
    RunStep(error, [&] { folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "BKpath", "NA"); });
    rt.ctx.SqlText = BuildBackupStatement(rt.ctx.DbaseName, folder);

    error.Clear();  // only the backup itself and the close decide the outcome
    RunStep(error, [&] {
        requireCommand().SetCommandText(rt.ctx.SqlText);
        requireCommand().SetCommandType(1);
    });
    RunStep(error, [&] { requireCommand().Execute(); });
    RunStep(error, [&] { requireConnection().Close(); });

    if (!error.failed()) {
        result = true;
        ReportSuccess(rt, "Backup was created", kTitleLong,
                      "Backup was created   " + JoinPath(folder, rt.ctx.DbaseName + ".bak"));
    } else {
        ReportFailure(rt, "Operation Failed\r\n" + error.description, kTitleLong,
                      "Operation Failed   " + error.description, std::string());
    }
    summary.PrintForServer("SQL Server backup " + JoinPath(folder, rt.ctx.DbaseName + ".bak"));
    return result;
}

}  // namespace dorvane
