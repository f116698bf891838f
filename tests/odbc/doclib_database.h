#pragma once
// A SQLite database whose doclib table holds the given rows, made through the
// client itself.

#include <string>
#include <vector>

#include "core/components/sql_client.h"

namespace dorvane::odbc::testing {

// `rows` are SQL value lists such as "('lib1', 'S:\\Docs')". Returns the
// connection string of the new file at `path`.
inline std::string MakeDoclib(SqlClient& client, const std::string& path,
                              const std::vector<std::string>& rows) {
    const std::string text = "driver={SQLite3};database=" + path;
    auto connection = client.NewConnection();
    connection->SetConnectionString(text);
    connection->Open();
    auto command = client.NewCommand();
    command->SetActiveConnection(*connection);
    command->SetCommandText("CREATE TABLE doclib (LibCode TEXT, DocumentPath TEXT)");
    command->Execute();
    for (const auto& values : rows) {
        command->SetCommandText("INSERT INTO doclib VALUES " + values);
        command->Execute();
    }
    connection->Close();
    return text;
}

}  // namespace dorvane::odbc::testing
