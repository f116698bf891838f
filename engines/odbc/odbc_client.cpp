#include "engines/odbc/odbc_client.h"

#include "engines/odbc/odbc_command.h"
#include "engines/odbc/odbc_connection.h"
#include "engines/odbc/odbc_recordset.h"

namespace dorvane::odbc {
namespace {

class OdbcClient final : public SqlClient {
public:
    explicit OdbcClient(const ClientOptions& options) : options_(options) {}
    std::unique_ptr<SqlConnection> NewConnection() override { return std::make_unique<OdbcConnection>(options_); }
    std::unique_ptr<SqlCommand> NewCommand() override { return std::make_unique<OdbcCommand>(); }
    std::unique_ptr<SqlRecordset> NewRecordset() override { return std::make_unique<OdbcRecordset>(); }

private:
    ClientOptions options_;
};

}  // namespace

std::unique_ptr<SqlClient> MakeSqlClient() { return MakeSqlClient(ClientOptions{}); }

std::unique_ptr<SqlClient> MakeSqlClient(const ClientOptions& options) { return std::make_unique<OdbcClient>(options); }

}  // namespace dorvane::odbc
