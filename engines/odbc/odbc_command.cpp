#include "engines/odbc/odbc_command.h"

#include "engines/odbc/odbc_statement.h"

namespace dorvane::odbc {
namespace {

constexpr int kCommandText = 1;
constexpr int kCommandUnknown = 8;  // what a command is before a type is set

}  // namespace

void OdbcCommand::SetActiveConnection(SqlConnection& connection) { connection_ = &AsOdbc(connection); }

void OdbcCommand::SetCommandType(int type) {
    if (type != kCommandText && type != kCommandUnknown)
        throw Error(errc::kNotAvailable,
                    "Command type " + std::to_string(type) + " is not supported; only text commands (1) are.");
}

void OdbcCommand::Execute() {
    if (connection_ == nullptr)
        throw Error(errc::kSqlClient, "The statement was not run: the command has no connection.");
    if (!connection_->IsOpen()) throw connection_->NotOpenError("Running the statement");
    if (text_.empty()) throw Error(errc::kSqlClient, "The statement was not run: its text is empty.");
    Statement statement(connection_->handle(), text_);
    statement.DrainResults();
}

}  // namespace dorvane::odbc
