#pragma once
// `dorvane-jet import` and `drop`: a table made from a CSV file, or taken out,
// in an existing Jet 4 database. The file is written as a new version and
// put in place only when complete and sound; any refusal leaves it as it was.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "engines/jet/create/csv_values.h"

namespace dorvane::jet::create {

struct ImportOptions {
    std::optional<std::string> key;           // primary-key column
    std::map<std::string, ImportType> types;  // by column name, as given
    std::vector<std::string> indexes = {};    // columns indexed besides the key, duplicates allowed
};

struct ImportSummary {
    std::size_t rows = 0;
    std::vector<std::pair<std::string, ImportType>> columns;
};

// Throws errc::kValueRefused naming the CSV line for a value that does not fit its
// column, kFileAlreadyExists when the table exists, kInUse when another
// program uses the database, kNotAvailable for a Jet 3 file or a key or
// indexed column the engine cannot index.
ImportSummary ImportCsv(const std::filesystem::path& database, const std::string& table,
                        const std::filesystem::path& csv, const ImportOptions& options);

// Takes a user table out: its catalog row, permissions and pages (left free
// for the next compaction). Throws kItemNotFound when there is no such table,
// kNotAvailable for a system table or one in a relationship.
void DropTable(const std::filesystem::path& database, const std::string& table);

}  // namespace dorvane::jet::create
