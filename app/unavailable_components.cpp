#include "app/unavailable_components.h"

#include "core/error.h"

namespace dorvane {
namespace {

[[noreturn]] void NoAccessEngine() {
    throw Error(errc::kNotAvailable, "the Access database engine is not available in this build");
}

[[noreturn]] void NoSqlClient() {
    throw Error(errc::kNotAvailable, "the SQL Server client is not available in this build");
}

class UnavailableEngine final : public FileDatabaseEngine {
public:
    std::unique_ptr<DatabaseHold> HoldDatabase(const std::string&) override { NoAccessEngine(); }
    void CompactDatabase(const std::string&, const std::string&) override { NoAccessEngine(); }
    RepairLoss RepairDatabase(const std::string&, const std::string&) override { NoAccessEngine(); }
    std::shared_ptr<Database> OpenDatabase(const std::string&) override { NoAccessEngine(); }
};

class UnavailableConnection final : public SqlConnection {
public:
    void SetConnectionString(const std::string&) override {}
    void Open() override { NoSqlClient(); }
    bool IsOpen() const override { return false; }
    void Close() override {}
};

class UnavailableCommand final : public SqlCommand {
public:
    void SetActiveConnection(SqlConnection&) override {}
    void SetCommandText(const std::string&) override {}
    void SetCommandType(int) override {}
    void Execute() override { NoSqlClient(); }
};

class UnavailableRecordset final : public SqlRecordset {
public:
    void Open(const std::string&, SqlConnection&) override { NoSqlClient(); }
    void MoveFirst() override { NoSqlClient(); }
    FieldValue Field(const std::string&) override { NoSqlClient(); }
    void Close() override {}
};

class UnavailableSqlClient final : public SqlClient {
public:
    std::unique_ptr<SqlConnection> NewConnection() override { return std::make_unique<UnavailableConnection>(); }
    std::unique_ptr<SqlCommand> NewCommand() override { return std::make_unique<UnavailableCommand>(); }
    std::unique_ptr<SqlRecordset> NewRecordset() override { return std::make_unique<UnavailableRecordset>(); }
};

}  // namespace

std::unique_ptr<FileDatabaseEngine> MakeUnavailableFileDatabaseEngine() {
    return std::make_unique<UnavailableEngine>();
}

std::unique_ptr<SqlClient> MakeUnavailableSqlClient() { return std::make_unique<UnavailableSqlClient>(); }

}  // namespace dorvane
