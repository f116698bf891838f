#pragma once
// File operations of the program, on paths as text (Windows form). The
// platform implementation maps paths and reports failures as dorvane::Error.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace dorvane {

// Who reads a text file the program writes. On Windows a log is written in
// the code page of the products' own files (ANSI), a batch file in the one
// the command interpreter reads (OEM); elsewhere both stay UTF-8.
enum class TextFile { kLog, kBatch };

// A failed CopyFile whose destination is known to be exactly as it was: the
// copy never took its place. Any other failure of it may have replaced it.
class DestinationUnchanged final : public Error {
public:
    explicit DestinationUnchanged(const Error& cause) : Error(cause) {}
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool Exists(const std::string& path) = 0;
    // The size of a file; nullopt when there is none or it cannot be seen.
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // Replaces destination by a copy of source; the copy has reached stable
    // storage when this returns. Refuses a destination that another process
    // holds locked. Throws DestinationUnchanged where it can tell.
    virtual void CopyFile(const std::string& source, const std::string& destination) = 0;
    // Deletes one file; a missing file is no error.
    virtual void DeleteFile(const std::string& path) = 0;
    // Renames within one folder, replacing the target atomically.
    virtual void RenameReplace(const std::string& from, const std::string& to) = 0;
    // Full paths (folder text, "\", name) of the files in folder whose names
    // match the wildcard pattern ("*" and "?", letter case ignored). A missing
    // folder gives none.
    virtual std::vector<std::string> ListMatching(const std::string& folder, std::string_view pattern) = 0;
    // Opens for appending (creating it), writes the text (UTF-8, as all the
    // program's text) in the encoding that the file's readers expect, closes.
    virtual void AppendToFile(const std::string& path, std::string_view text, TextFile kind) = 0;
};

}  // namespace dorvane
