#pragma once
// The file-database engine as the operations use it. Paths are the text the
// operations build (Windows form, "\" separators); implementations map them to
// the platform where a file is touched. Every failure throws dorvane::Error.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace dorvane {

// A field value as the caller sees it. Null is distinguishable from empty text.
struct FieldValue {
    bool is_null = true;
    std::string text;  // the value converted to text (UTF-8) when not Null
};

class Recordset {
public:
    virtual ~Recordset() = default;
    virtual void MoveFirst() = 0;  // throws "No current record." when empty
    virtual FieldValue Field(const std::string& name) = 0;
    virtual void Close() = 0;
};

class QueryDef {
public:
    virtual ~QueryDef() = default;
    virtual void SetSQL(const std::string& sql) = 0;
    virtual std::unique_ptr<Recordset> OpenRecordset() = 0;
};

class Database {
public:
    virtual ~Database() = default;
    virtual std::unique_ptr<QueryDef> CreateQueryDef(const std::string& name) = 0;
    virtual void Close() = 0;
};

// What a repair could not keep. Empty when the copy holds everything the
// source held (only structures derived from the rows were rebuilt).
struct RepairLoss {
    std::uint64_t rows_dropped = 0;   // unreadable rows, and rows that may be lost
    std::uint64_t values_cut = 0;     // memo/OLE values that could not be read whole
    std::string summary;              // e.g. "dropped 16 rows of table \"Invoices\""
    std::uint64_t rows_in_doubt = 0;  // kept, though an index disagreed with them
    bool any() const { return rows_dropped != 0 || values_cut != 0 || rows_in_doubt != 0 || !summary.empty(); }
};

// Keeps every other program from using a database until it goes: a
// maintenance run holds the file from before its compaction until the
// compacted copy is back in its place, and the engine's own use of the file
// meanwhile joins the hold.
class DatabaseHold {
public:
    virtual ~DatabaseHold() = default;
};

class FileDatabaseEngine {
public:
    virtual ~FileDatabaseEngine() = default;
    // Throws when another program uses the database. A missing file is not
    // held, and left for the step that needs it to report.
    virtual std::unique_ptr<DatabaseHold> HoldDatabase(const std::string& path) = 0;
    // A compacted copy at destination; the source unchanged. Errors when the
    // source is missing or in use, the destination exists or cannot be made.
    virtual void CompactDatabase(const std::string& source, const std::string& destination) = 0;
    // Like CompactDatabase, but a damaged source is repaired into the copy
    // where that can be done without guessing; what could not be kept is
    // returned. Damage that cannot be repaired throws, as CompactDatabase does.
    virtual RepairLoss RepairDatabase(const std::string& source, const std::string& destination) = 0;
    virtual std::shared_ptr<Database> OpenDatabase(const std::string& path) = 0;
};

}  // namespace dorvane
