#pragma once
// An operating-system failure as the program reports it, worded the same on
// every system:
//
//   cannot <doing> "<path>": <reason>
//
// for example: cannot create "D:\Zentro\Data\Temp.bk0": the disk is full.
// The number groups the failure (errc::kFileNotFound, kPathNotFound,
// kPermissionDenied, kDiskFull, kFileAlreadyExists, kInUse, otherwise
// kIoError); the system's own words appear only where no group fits.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.h"

namespace dorvane::platform {

// The system's own error number: errno on POSIX, GetLastError() on Windows.
using OsError = unsigned long;
OsError LastOsError();

// What a system error means to the program; each system maps its own numbers.
enum class Cause { kNotFound, kExists, kDenied, kReadOnly, kIsFolder, kFull, kInUse, kOther };
Cause CauseOf(OsError code);
std::string SystemDescription(OsError code);

// A missing file is told apart from a missing folder by looking at the folder.
Error SystemError(OsError code, const std::filesystem::path& path, std::string_view doing);

// The same wording for a failure that has no system error number.
Error PathError(long number, const std::filesystem::path& path, std::string_view doing, std::string_view reason);

}  // namespace dorvane::platform
