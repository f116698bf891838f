#pragma once
// Everything an operation reaches: the run context and the components. One
// Runtime lives for the whole process; tests build one from fakes. Its
// members follow the C++ side's one convention: data in lowerCamelCase,
// functions in PascalCase, private data with a trailing underscore.

#include <functional>
#include <memory>

#include "core/clock.h"
#include "core/message_boxes.h"
#include "core/run_context.h"
#include "core/settings/settings_store.h"
#include "core/components/file_database_engine.h"
#include "core/components/file_system.h"
#include "core/components/sql_client.h"

namespace dorvane {

class Runtime {
public:
    using EngineFactory = std::function<std::unique_ptr<FileDatabaseEngine>()>;

    Runtime(SettingsStore& settingsStore, FileSystem& fileSystem, EngineFactory fileDbFactory, SqlClient& sqlClient,
            MessageBoxes& messageBoxes, Clock& systemClock)
        : settings(settingsStore),
          files(fileSystem),
          sql(sqlClient),
          boxes(&messageBoxes),
          clock(systemClock),
          fileDbFactory_(std::move(fileDbFactory)) {}

    RunContext ctx;
    SettingsStore& settings;
    FileSystem& files;
    SqlClient& sql;
    MessageBoxes* boxes;  // the window puts its own boxes here while it is open
    Clock& clock;

    // The shared file-database engine, created on first use and kept.
    FileDatabaseEngine& FileDb() {
        if (!fileDb_) fileDb_ = fileDbFactory_();
        return *fileDb_;
    }

    // Whether any maintenance operation of this run reported failure; it
    // decides the process exit status and nothing else.
    bool any_operation_failed = false;
    // Whether a repair of this run succeeded but could not keep all the data
    // (the damaged original was kept beside the database); exit status 2.
    bool data_not_all_kept = false;
    // Whether an unattended run has said on standard error that its log
    // cannot be written; said once, its lines are still on standard output.
    bool log_failure_said = false;

    // Shows a box only in an interactive run.
    void ShowBox(const std::string& text, BoxIcon icon, const std::string& title) {
        if (!ctx.Unattended() && boxes != nullptr) boxes->Show(text, icon, title);
    }

private:
    EngineFactory fileDbFactory_;
    std::unique_ptr<FileDatabaseEngine> fileDb_;
};

}  // namespace dorvane
