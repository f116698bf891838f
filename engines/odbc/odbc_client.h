#pragma once
// The SQL Server client over ODBC: unixODBC on POSIX, odbc32 on Windows.
// Descriptions of failures carry the driver's diagnostics, so the log shows the
// server's own words.

#include <memory>

#include "core/components/sql_client.h"

namespace dorvane::odbc {

struct ClientOptions {
    // Bounds every phase of a connect (name lookup, TCP, pre-login, login), so
    // an unreachable server cannot hang the run. Statements have no time-out:
    // a large backup may run for hours.
    unsigned long loginTimeoutSeconds = 15;
};

std::unique_ptr<SqlClient> MakeSqlClient();
std::unique_ptr<SqlClient> MakeSqlClient(const ClientOptions& options);

}  // namespace dorvane::odbc
