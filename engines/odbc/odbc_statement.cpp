#include "engines/odbc/odbc_statement.h"

namespace dorvane::odbc {

Statement::Statement(SQLHDBC connection, const std::string& text) : stmt_(SQL_HANDLE_STMT, connection) {
    std::vector<SQLWCHAR> wide = ToSqlText(text, "statement");
    const SQLRETURN rc = SQLExecDirectW(stmt_.get(), wide.data(), SQL_NTS);
    if (rc == SQL_NO_DATA) return;  // ran; returned neither rows nor a count
    if (rc == SQL_NEED_DATA)
        throw Error(errc::kSqlClient, "The statement asks for parameter values, which are not supported.");
    if (!Succeeded(rc)) throw CallFailed(stmt_, "The statement failed.");
}

Statement::~Statement() {
    // Discards whatever the server still has to send for this statement.
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
}

bool Statement::MoreResults() {
    if (atEnd_) return false;
    const SQLRETURN rc = SQLMoreResults(stmt_.get());
    if (rc == SQL_NO_DATA) {
        atEnd_ = true;
        return false;
    }
    if (!Succeeded(rc)) {
        atEnd_ = true;
        throw CallFailed(stmt_, "A later result of the statement failed.");
    }
    return true;
}

void Statement::DrainResults() {
    while (MoreResults()) {
    }
}

bool Statement::SkipToRowResult() {
    for (;;) {
        SQLSMALLINT columns = 0;
        if (!Succeeded(SQLNumResultCols(stmt_.get(), &columns)))
            throw CallFailed(stmt_, "The statement's result could not be read.");
        if (columns > 0) return true;
        if (!MoreResults()) return false;
    }
}

}  // namespace dorvane::odbc
