#include "core/ascii.h"
#include "engines/odbc/odbc_recordset.h"

#include <algorithm>
#include <cctype>

#include "engines/odbc/odbc_statement.h"

namespace dorvane::odbc {
namespace {

bool SameName(const std::string& a, const std::string& b) { return EqualsIgnoringAsciiCase(a, b); }

std::vector<std::string> ColumnNames(const Handle& stmt) {
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(stmt.get(), &count)))
        throw CallFailed(stmt, "The query's columns could not be read.");
    std::vector<std::string> names;
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
        std::vector<SQLWCHAR> name(256);
        SQLSMALLINT length = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLRETURN rc = SQLDescribeColW(stmt.get(), column, name.data(), static_cast<SQLSMALLINT>(name.size()), &length,
                                       &type, &size, &digits, &nullable);
        if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= name.size()) {
            name.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLDescribeColW(stmt.get(), column, name.data(), static_cast<SQLSMALLINT>(name.size()), &length, &type,
                                 &size, &digits, &nullable);
        }
        if (!Succeeded(rc)) throw CallFailed(stmt, "The query's columns could not be read.");
        names.push_back(FromSqlText(name.data(), static_cast<std::size_t>(length)));
    }
    return names;
}

// The column's value as text, read in pieces so that long text is whole.
FieldValue ReadField(const Handle& stmt, SQLUSMALLINT column) {
    std::u16string wide;
    SQLWCHAR buffer[512];
    constexpr SQLLEN kBufferBytes = sizeof(buffer);
    constexpr std::size_t kBufferChars = sizeof(buffer) / sizeof(SQLWCHAR);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_WCHAR, buffer, kBufferBytes, &indicator);
        if (rc == SQL_NO_DATA) break;  // the previous piece was the last
        if (!Succeeded(rc)) throw CallFailed(stmt, "A field of the query could not be read.");
        if (indicator == SQL_NULL_DATA) return FieldValue{true, {}};
        const bool partial = rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= kBufferBytes);
        const std::size_t chars = partial ? kBufferChars - 1 : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
        for (std::size_t i = 0; i < chars; ++i) wide.push_back(static_cast<char16_t>(buffer[i]));
        if (!partial) break;
    }
    std::vector<SQLWCHAR> units(wide.begin(), wide.end());
    return FieldValue{false, FromSqlText(units.data(), units.size())};
}

}  // namespace

void OdbcRecordset::Open(const std::string& statement, SqlConnection& connection) {
    if (open_) throw Error(errc::kObjectOpen, "The record set is already open.");
    OdbcConnection& odbc = AsOdbc(connection);
    if (!odbc.IsOpen()) throw odbc.NotOpenError("Running the query");
    if (statement.empty()) throw Error(errc::kSqlClient, "The query was not run: its text is empty.");

    Statement query(odbc.handle(), statement);
    columns_.clear();
    firstRow_.reset();
    if (query.SkipToRowResult()) {
        columns_ = ColumnNames(query.handle());
        const SQLRETURN rc = SQLFetch(query.handle().get());
        if (rc != SQL_NO_DATA) {
            if (!Succeeded(rc)) throw CallFailed(query.handle(), "The query's first row could not be read.");
            std::vector<FieldValue> row;
            for (SQLUSMALLINT column = 1; column <= columns_.size(); ++column)
                row.push_back(ReadField(query.handle(), column));
            firstRow_ = std::move(row);
        }
    }
    open_ = true;
}

void OdbcRecordset::MoveFirst() {
    if (!open_) throw Error(errc::kObjectClosed, "The record set is not open.");
    if (!firstRow_) throw Error(errc::kNoCurrentRecord, "No current record.");
}

FieldValue OdbcRecordset::Field(const std::string& name) {
    if (!open_) throw Error(errc::kObjectClosed, "The record set is not open.");
    const auto column =
        std::find_if(columns_.begin(), columns_.end(), [&name](const std::string& c) { return SameName(c, name); });
    if (column == columns_.end()) throw Error(errc::kItemNotFound, "The query has no field named \"" + name + "\".");
    if (!firstRow_) throw Error(errc::kNoCurrentRecord, "No current record.");
    return (*firstRow_)[static_cast<std::size_t>(column - columns_.begin())];
}

}  // namespace dorvane::odbc
