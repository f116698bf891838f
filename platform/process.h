#pragma once
// This program's own file, and handing the process over to another program
// (POSIX only: the unattended program starts its window that way).

#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"

namespace dorvane::platform {

// The running program's file, links resolved; empty when it cannot be told.
std::filesystem::path OwnProgramFile();

// Runs `program` with `arguments` in place of this process, which then ends
// with its exit status. Returns only when it cannot be started: the reason,
// worded by SystemError (a missing file is errc::kFileNotFound).
Error ReplaceProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);

}  // namespace dorvane::platform
