#pragma once
// The process-wide run state shared by start-up, the operations and the
// window. One instance lives for the whole process. Its fields keep the names
// users know from the products' settings and messages (DbPath, BkPath,
// RunMode, ...); what the C++ side adds lives in Runtime.

#include <cstdint>
#include <memory>
#include <string>

namespace dorvane {

class Database;  // core/components/file_database_engine.h

struct RunContext {
    std::string Product;
    std::string FrontEndFile;
    std::int16_t DbKind = 0;
    std::string RunMode;  // "s" unattended, empty interactive
    std::string AppPath;
    std::string DbPath;
    std::string BkPath;
    std::string BackupPath;
    std::string Dsn;
    std::string DbaseName;
    std::string SqlServerName;
    std::string SqlText;
    std::shared_ptr<::dorvane::Database> Database;  // last back-end opened by the lookup

    bool Unattended() const { return !RunMode.empty(); }
};

}  // namespace dorvane
