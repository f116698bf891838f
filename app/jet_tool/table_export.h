#pragma once
// Every user table of a file as CSV, each into a file of its own in one
// folder: DIR/<table>.csv, in one run of the tool, where a script would start
// it once for each table. A table's name stays as it is wherever every system
// takes it as a file name; '%' and what one of them refuses (control
// characters, / \ : * ? " < > |, the device names CON, NUL, COM1...) are
// written as %XX, so each table keeps a file of its own. Nothing is
// overwritten: a file already there is an error.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "engines/jet/database.h"

namespace dorvane::jet_tool {

// The file name, folder left out, a table is exported to.
std::string TableFileName(std::string_view table);

struct ExportedTables {
    std::size_t tables = 0;
    std::size_t attachments = 0;
};

// Writes the user tables in the catalog's order, creating `dir` where it is
// missing. `attachments`, unless empty: where each table's attachments go,
// as ExportAttachments writes them, under a folder named as its CSV file is
// without ".csv". Stops at the first table that cannot be read or written,
// throwing with the table named; the tables before it stay exported, and of
// that one the rows read before the damage.
ExportedTables ExportEveryTable(const jet::JetDatabase& db, const std::filesystem::path& dir,
                                const std::filesystem::path& attachments);

}  // namespace dorvane::jet_tool
