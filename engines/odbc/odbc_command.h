#pragma once
// A command: one text statement executed on a connection, every result drained.

#include <string>

#include "engines/odbc/odbc_connection.h"

namespace dorvane::odbc {

class OdbcCommand final : public SqlCommand {
public:
    void SetActiveConnection(SqlConnection& connection) override;
    void SetCommandText(const std::string& text) override { text_ = text; }
    void SetCommandType(int type) override;
    void Execute() override;

private:
    OdbcConnection* connection_ = nullptr;
    std::string text_;
};

}  // namespace dorvane::odbc
