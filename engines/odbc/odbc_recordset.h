#pragma once
// A record set: runs a query, keeps its first row (the only one the program
// reads) and gives its fields by column name as text, Null kept apart.

#include <optional>
#include <string>
#include <vector>

#include "engines/odbc/odbc_connection.h"

namespace dorvane::odbc {

class OdbcRecordset final : public SqlRecordset {
public:
    void Open(const std::string& statement, SqlConnection& connection) override;
    void MoveFirst() override;
    FieldValue Field(const std::string& name) override;
    void Close() override { open_ = false; }

private:
    bool open_ = false;
    std::vector<std::string> columns_;
    std::optional<std::vector<FieldValue>> firstRow_;
};

}  // namespace dorvane::odbc
