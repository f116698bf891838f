#pragma once
// What the client layer adds to a connection string before handing it to the
// driver. The operations build the string; everything else passes unchanged.

#include <optional>
#include <string>

namespace dorvane::odbc {

struct SqlLogin {
    std::string user;
    std::string password;
};

// DORVANE_SQL_USER / DORVANE_SQL_PASSWORD, when a user is set (not empty).
std::optional<SqlLogin> SqlLoginFromEnvironment();

// How a driver reads a value in braces. The ODBC rule doubles a "}" inside it;
// FreeTDS (1.3) ends the value at the first "};" and takes "}}" literally.
enum class BraceStyle { kOdbc, kFreeTds };

struct ConnectionAmendments {
    // Added when the string names no user and asks for no trusted connection.
    std::optional<SqlLogin> login;
    // FreeTDS cannot connect to "server=host" without a port: it gets ",1433".
    // A named instance ("host\NAME") and a server with a port stay as given.
    bool add_default_port = false;
    BraceStyle braces = BraceStyle::kOdbc;
};

// Throws dorvane::Error when a login value cannot be written for the driver.
std::string AmendConnectionString(const std::string& text, const ConnectionAmendments& amendments);

// An attribute value in braces, so that ";" or "=" in a password cannot start
// another attribute; `what` names the value in the error for one that the
// driver could not read back. The caller follows it with ";".
std::string BraceQuote(const std::string& value, BraceStyle style, const std::string& what);

}  // namespace dorvane::odbc
