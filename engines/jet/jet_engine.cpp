#include "engines/jet/jet_engine.h"

#include <optional>
#include <utility>

#include "core/error.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/database.h"
#include "engines/jet/format/lock.h"
#include "engines/jet/query.h"
#include "platform/native_path.h"

namespace dorvane::jet {

namespace {

// Results are read whole when the record set opens: the queries the program
// runs return a handful of rows, and the file is not touched afterwards.
class JetRecordset final : public Recordset {
public:
    explicit JetRecordset(TextRows rows) : rows_(std::move(rows)) {}

    void MoveFirst() override {
        RequireOpen();
        if (rows_.rows.empty()) throw Error(errc::kNoCurrentRecord, "No current record.");
        current_ = 0;
    }

    FieldValue Field(const std::string& name) override {
        RequireOpen();
        std::optional<std::size_t> column;
        for (std::size_t i = 0; i < rows_.columns.size(); ++i) {
            if (EqualsIgnoreCase(rows_.columns[i], name)) {
                column = i;
                break;
            }
        }
        if (!column) throw Error(errc::kItemNotFound, "Item not found in this collection: '" + name + "'.");
        if (rows_.rows.empty()) throw Error(errc::kNoCurrentRecord, "No current record.");
        const std::optional<std::string>& value = rows_.rows[current_][*column];
        FieldValue out;
        out.is_null = !value.has_value();
        if (value) out.text = *value;
        return out;
    }

    void Close() override {
        open_ = false;
        rows_ = {};
    }

private:
    void RequireOpen() const {
        if (!open_) throw Error(errc::kInternal, "The record set is closed.");
    }
    TextRows rows_;
    std::size_t current_ = 0;  // a non-empty set starts on its first row
    bool open_ = true;
};

class JetQueryDef final : public QueryDef {
public:
    JetQueryDef(std::shared_ptr<std::optional<JetDatabase>> database, std::string path)
        : database_(std::move(database)), path_(std::move(path)) {}

    void SetSQL(const std::string& sql) override { sql_ = sql; }

    std::unique_ptr<Recordset> OpenRecordset() override {
        if (!database_->has_value()) throw Error(errc::kInternal, "The database is closed.");
        const SelectQuery query = ParseSelect(sql_);
        const JetDatabase& db = **database_;
        return NamingPathsAsGiven(
            {path_}, [&] { return std::make_unique<JetRecordset>(RunSelect(db.file(), db.tables(), query)); });
    }

private:
    std::shared_ptr<std::optional<JetDatabase>> database_;
    std::string path_;  // as the caller gave it, for messages
    std::string sql_;
};

class JetDatabaseHandle final : public Database {
public:
    JetDatabaseHandle(JetDatabase database, std::string path)
        : database_(std::make_shared<std::optional<JetDatabase>>(std::move(database))), path_(std::move(path)) {}

    std::unique_ptr<QueryDef> CreateQueryDef(const std::string& name) override {
        if (!name.empty()) {
            throw Error(errc::kNotAvailable, "Saved query definitions are not supported; use an unnamed one.");
        }
        if (!database_->has_value()) throw Error(errc::kInternal, "The database is closed.");
        return std::make_unique<JetQueryDef>(database_, path_);
    }

    // Releases the file and its shared lock; query definitions made earlier
    // then fail cleanly.
    void Close() override { database_->reset(); }

private:
    std::shared_ptr<std::optional<JetDatabase>> database_;
    std::string path_;
};

class JetDatabaseHold final : public DatabaseHold {
public:
    explicit JetDatabaseHold(StandingHold hold) : hold_(std::move(hold)) {}

private:
    StandingHold hold_;
};

class JetEngine final : public FileDatabaseEngine {
public:
    std::unique_ptr<DatabaseHold> HoldDatabase(const std::string& path) override {
        const std::filesystem::path native = ToNativePath(path);
        std::error_code ignored;
        if (!std::filesystem::exists(native, ignored)) return std::make_unique<DatabaseHold>();
        return NamingPathsAsGiven(
            {path}, [&] { return std::make_unique<JetDatabaseHold>(StandingHold::Acquire(native)); });
    }

    // Errors name the files as the caller gave them, not as they were mapped.
    void CompactDatabase(const std::string& source, const std::string& destination) override {
        NamingPathsAsGiven({source, destination},
                           [&] { CompactFile(ToNativePath(source), ToNativePath(destination)); });
    }

    RepairLoss RepairDatabase(const std::string& source, const std::string& destination) override {
        RepairReport report;
        NamingPathsAsGiven({source, destination},
                           [&] { RepairFile(ToNativePath(source), ToNativePath(destination), report); });
        return {report.RowsLost(), report.ValuesCut(), report.LossSummary(), report.RowsInDoubt()};
    }

    std::shared_ptr<Database> OpenDatabase(const std::string& path) override {
        const std::filesystem::path native = ToNativePath(path);
        std::error_code ignored;
        if (!std::filesystem::exists(native, ignored)) {
            throw Error(errc::kFileNotFound, "Could not find file '" + path + "'.");
        }
        return NamingPathsAsGiven({path},
                                  [&] { return std::make_shared<JetDatabaseHandle>(JetDatabase::Open(native), path); });
    }
};

}  // namespace

std::unique_ptr<FileDatabaseEngine> MakeEngine() { return std::make_unique<JetEngine>(); }

}  // namespace dorvane::jet
