#include "engines/odbc/odbc_connection.h"

#include "engines/odbc/connection_string.h"

namespace dorvane::odbc {
namespace {

// ADO's numbers for work on an object in the wrong state.

ConnectionAmendments PlatformAmendments() {
    ConnectionAmendments amendments;
    amendments.login = SqlLoginFromEnvironment();
    amendments.add_default_port = kSqlServerThroughFreeTds;
    amendments.braces = kSqlServerThroughFreeTds ? BraceStyle::kFreeTds : BraceStyle::kOdbc;
    return amendments;
}

}  // namespace

OdbcConnection::~OdbcConnection() {
    if (dbc_) SQLDisconnect(dbc_->get());
}

void OdbcConnection::SetConnectionString(const std::string& text) {
    if (IsOpen()) throw Error(errc::kObjectOpen, "The connection string cannot change while the connection is open.");
    connectionString_ = text;
}

void OdbcConnection::Open() {
    if (IsOpen()) throw Error(errc::kObjectOpen, "The connection is already open.");
    lastOpenFailure_.clear();
    try {
        if (!env_) {
            Handle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
            const SQLRETURN rc =
                SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
            if (!Succeeded(rc)) throw CallFailed(env, "The ODBC driver manager refused ODBC 3.");
            env_ = std::move(env);
        }
        Handle dbc(SQL_HANDLE_DBC, env_->get());
        // Set before connecting: only this bounds every phase of the connect.
        SQLRETURN rc = SQLSetConnectAttrW(
            dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(options_.loginTimeoutSeconds)), SQL_IS_UINTEGER);
        if (!Succeeded(rc)) throw CallFailed(dbc, "The driver manager refused the login time-out.");

        const std::string amended = AmendConnectionString(connectionString_, PlatformAmendments());
        std::vector<SQLWCHAR> text = ToSqlText(amended, "connection string");
        rc = SQLDriverConnectW(dbc.get(), nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!Succeeded(rc)) {
            Error failed = CallFailed(dbc, "The connection could not be opened.");
            // unixODBC 2.3 reports an unknown driver name as a library it cannot
            // open (state 01000), older versions and odbc32 as IM002.
            const std::string said = failed.description();
            if (said.find("(SQLSTATE IM002") != std::string::npos ||
                said.find("[Driver Manager]Can't open lib") != std::string::npos)
                throw Error(failed.number(), said + kNoDriverHint);
            throw failed;
        }
        dbc_ = std::move(dbc);
    } catch (const Error& error) {
        lastOpenFailure_ = error.description();
        throw;
    }
}

void OdbcConnection::Close() {
    if (!dbc_) return;
    // A connection that refuses to close stays open (and is tried again when
    // this object goes), so its handle is never freed while connected.
    if (!Succeeded(SQLDisconnect(dbc_->get()))) throw CallFailed(*dbc_, "The connection could not be closed.");
    dbc_.reset();
}

Error OdbcConnection::NotOpenError(const std::string& work) const {
    std::string text = work + " failed: the connection is not open.";
    if (!lastOpenFailure_.empty()) text += " Opening it failed: " + lastOpenFailure_;
    return Error(errc::kSqlClient, text);
}

OdbcConnection& AsOdbc(SqlConnection& connection) {
    auto* odbc = dynamic_cast<OdbcConnection*>(&connection);
    if (odbc == nullptr) throw Error(errc::kSqlClient, "The connection was not made by the ODBC client.");
    return *odbc;
}

}  // namespace dorvane::odbc
