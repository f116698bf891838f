#pragma once
// One statement run on an open connection: SQLExecDirect, then its results.

#include <string>

#include "engines/odbc/odbc_api.h"

namespace dorvane::odbc {

class Statement {
public:
    // Runs `text` as one batch; throws with the driver's diagnostics when the
    // first result fails. "No data" (nothing to return) is success.
    Statement(SQLHDBC connection, const std::string& text);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Reads every remaining result, so that an error reported after an
    // informational message or a row count is not missed; throws the first.
    void DrainResults();
    // Moves to the first result that has columns; false when there is none.
    bool SkipToRowResult();

    const Handle& handle() const { return stmt_; }

private:
    bool MoreResults();  // false at the end; throws on an error

    Handle stmt_;
    bool atEnd_ = false;
};

}  // namespace dorvane::odbc
