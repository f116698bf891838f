#pragma once
// The maintenance operations. Each reads its own settings, works through the
// components, shows a box only in an interactive run and logs its outcome.
// None lets an error out.

#include <string>

namespace dorvane {

class Runtime;

// Each compacts its file through Temp.bk0 in the file's folder, repairing it:
// compacted into Temp.bk0, copied over the file, Temp.bk0 deleted, stopping at
// the first failing step. A Temp.bk0 found before blocks the compaction; the
// one it made goes again when the copy back failed with the file as it was.
// A repair that lost data keeps the damaged original beside the file before
// it is replaced, and says so.
void OptimizeFrontEnd(Runtime& rt);
void RepairBackEnd(Runtime& rt);

std::string TimeStamp(Runtime& rt);
bool BackupAccessDb(Runtime& rt);

bool BackupSqlDb(Runtime& rt);
// The backup statement; names and folders that are not plain are quoted.
std::string BuildBackupStatement(const std::string& databaseName, const std::string& folder);
std::string BuildConnectionString(const std::string& server, const std::string& databaseName);

// The product's document folder ("lib1" in doclib), or empty text.
std::string LookupDocumentPath(Runtime& rt);

}  // namespace dorvane
