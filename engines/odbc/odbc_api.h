#pragma once
// The platform's ODBC headers, RAII for ODBC handles, and the driver's
// diagnostics as error text. Only the wide ("W") calls are used: Wine's odbc32
// lacks the ANSI ones, and SQLWCHAR is UTF-16 on every platform we build for.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace dorvane::odbc {

static_assert(sizeof(SQLWCHAR) == 2, "the wide ODBC calls must take UTF-16");

// Null-terminated wide text for an ODBC call; `what` names the text in the
// error raised for invalid UTF-8.
std::vector<SQLWCHAR> ToSqlText(std::string_view utf8, std::string_view what);
std::string FromSqlText(const SQLWCHAR* text, std::size_t length);

class Handle {
public:
    // Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for an
    // environment); throws dorvane::Error when the driver manager refuses.
    Handle(SQLSMALLINT type, SQLHANDLE parent);
    ~Handle();
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }

private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = nullptr;
};

// The diagnostic records of the handle's last call: each as the driver's
// message, its SQLSTATE and native error. Warnings (class 01) are left out when
// there is an error to report.
std::string Diagnostics(const Handle& handle);

// The error for a failed call: the diagnostics, or `fallback` when the driver
// left none.
Error CallFailed(const Handle& handle, const std::string& fallback);

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The driver manager of this build: odbc32 on Windows; unixODBC on POSIX,
// where SQL Server is reached through FreeTDS, which needs the port spelled
// out and reads braces its own way.
#ifdef _WIN32
inline constexpr bool kSqlServerThroughFreeTds = false;
inline constexpr const char* kNoDriverHint =
    " No ODBC driver is installed under the name that the connection string gives.";
#else
inline constexpr bool kSqlServerThroughFreeTds = true;
inline constexpr const char* kNoDriverHint =
    " No usable ODBC driver is registered under the name that the connection string gives; for "
    "SQL Server, install FreeTDS (tdsodbc) and register it as \"SQL Server\" in odbcinst.ini.";
#endif

}  // namespace dorvane::odbc
