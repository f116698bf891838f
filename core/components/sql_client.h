#pragma once
// The SQL Server client objects as the operations use them (connection,
// command, record set). Every failure throws dorvane::Error whose description
// carries the driver's own words.

#include <memory>
#include <string>

#include "core/components/file_database_engine.h"  // FieldValue

namespace dorvane {

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    virtual void SetConnectionString(const std::string& text) = 0;
    virtual void Open() = 0;  // no user, no password: the string decides
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
};

class SqlCommand {
public:
    virtual ~SqlCommand() = default;
    virtual void SetActiveConnection(SqlConnection& connection) = 0;
    virtual void SetCommandText(const std::string& text) = 0;
    virtual void SetCommandType(int type) = 0;  // 1: text
    virtual void Execute() = 0;                 // results drained and released
};

class SqlRecordset {
public:
    virtual ~SqlRecordset() = default;
    virtual void Open(const std::string& statement, SqlConnection& connection) = 0;
    virtual void MoveFirst() = 0;
    virtual FieldValue Field(const std::string& name) = 0;
    virtual void Close() = 0;
};

class SqlClient {
public:
    virtual ~SqlClient() = default;
    virtual std::unique_ptr<SqlConnection> NewConnection() = 0;
    virtual std::unique_ptr<SqlCommand> NewCommand() = 0;
    virtual std::unique_ptr<SqlRecordset> NewRecordset() = 0;
};

}  // namespace dorvane
