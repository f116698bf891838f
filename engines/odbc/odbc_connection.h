#pragma once
// A connection: SQLDriverConnect with the string as the operations built it,
// amended only by the client layer's sign-in and default port.

#include <optional>
#include <string>

#include "engines/odbc/odbc_api.h"
#include "engines/odbc/odbc_client.h"

namespace dorvane::odbc {

class OdbcConnection final : public SqlConnection {
public:
    explicit OdbcConnection(const ClientOptions& options) : options_(options) {}
    ~OdbcConnection() override;

    void SetConnectionString(const std::string& text) override;
    void Open() override;
    bool IsOpen() const override { return dbc_.has_value(); }
    // Closing a connection that is not open does nothing: after a failed Open
    // the cause stays the connection's failure, not a complaint about Close.
    void Close() override;

    SQLHDBC handle() const { return dbc_ ? dbc_->get() : SQL_NULL_HDBC; }
    // The error for work asked of this connection while it is not open; it
    // names why the last Open failed, if one did.
    Error NotOpenError(const std::string& work) const;

private:
    ClientOptions options_;
    std::string connectionString_;
    std::optional<Handle> env_;
    std::optional<Handle> dbc_;  // present while connected
    std::string lastOpenFailure_;
};

// The connection behind a SqlConnection; throws when it was made by another
// client (the interface lets a caller mix them).
OdbcConnection& AsOdbc(SqlConnection& connection);

}  // namespace dorvane::odbc
