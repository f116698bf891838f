#include <string>

#include "core/database_kind.h"
#include "core/error.h"
#include "core/error_state.h"
#include "core/paths.h"
#include "core/runtime.h"
#include "operations/operations.h"

namespace dorvane {
namespace {

constexpr const char* kDocumentPathQuery = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

std::string ValueAsText(const FieldValue& value) {
    if (value.is_null) throw Error(errc::kNullValue, "Invalid use of Null");
    return value.text;
}

std::string LookupInSqlServer(Runtime& rt, ErrorState& error) {
    std::string result;
    std::string server;
    std::unique_ptr<SqlConnection> connection;
    std::unique_ptr<SqlRecordset> records;
    RunStep(error, [&] { rt.ctx.DbaseName = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DbaseName"); });
    RunStep(error, [&] { server = GetSetting(rt.settings, rt.ctx.Product, "Locations", "SQLServer", "NA"); });
    RunStep(error, [&] {
        connection = rt.sql.NewConnection();
        connection->SetConnectionString(BuildConnectionString(server, rt.ctx.DbaseName));
        connection->Open();
    });
    RunStep(error, [&] {
        records = rt.sql.NewRecordset();
        if (!connection) throw Error(errc::kNotAvailable, "no connection");
        records->Open(rt.ctx.SqlText, *connection);
    });
    RunStep(error, [&] {
        if (!records) throw Error(errc::kNoCurrentRecord, "No current record.");
        records->MoveFirst();
        result = ValueAsText(records->Field("DocumentPath"));
    });
    RunStep(error, [&] {
        if (records) records->Close();
    });
    RunStep(error, [&] {
        if (connection) connection->Close();
    });
    return result;
}

std::string LookupInBackEnd(Runtime& rt, ErrorState& error) {
    std::string result;
    std::string folder;
    std::unique_ptr<QueryDef> query;
    std::unique_ptr<Recordset> records;
    RunStep(error, [&] { folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DBpath"); });
    RunStep(error, [&] {
        // On failure the field keeps the database it held before.
        rt.ctx.Database = rt.FileDb().OpenDatabase(JoinPath(folder, "post_db.mdb"));
    });
    RunStep(error, [&] {
        if (!rt.ctx.Database) throw Error(errc::kNotAvailable, "no database is open");
        query = rt.ctx.Database->CreateQueryDef("");
        query->SetSQL(rt.ctx.SqlText);
        records = query->OpenRecordset();
    });
    RunStep(error, [&] {
        if (!records) throw Error(errc::kNoCurrentRecord, "No current record.");
        records->MoveFirst();
        result = ValueAsText(records->Field("DocumentPath"));
    });
    RunStep(error, [&] {
        if (records) records->Close();
    });
    RunStep(error, [&] {
        if (rt.ctx.Database) rt.ctx.Database->Close();
    });
    return result;
}

}  // namespace

std::string LookupDocumentPath(Runtime& rt) {
    ErrorState error;  // nothing is reported: every failure leaves the result empty
    std::string result;
    rt.ctx.SqlText = kDocumentPathQuery;
    if (rt.ctx.DbKind == kSqlServerKind) {
        result = LookupInSqlServer(rt, error);
    } else {
        result = LookupInBackEnd(rt, error);
    }
    if (rt.ctx.Product == "Cindral") {
        RunStep(error, [&] { result = GetSetting(rt.settings, rt.ctx.Product, "Locations", "WORKGROUPPATH"); });
    }
    return result;
}

}  // namespace dorvane
