#pragma once
// The per-user settings store on POSIX: one human-readable text file,
//
//   [Bresk\Locations]
//   APPPATH = C:\Zentro\Bresk
//
// in $XDG_CONFIG_HOME/dorvane/settings.ini (or ~/.config/dorvane/...).
// Names match without regard to case; saves are serialised with a lock file,
// written to a temporary file, flushed and renamed over the store, and keep
// every other line (comments, unknown content) as it was.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/settings_store.h"

namespace dorvane {

class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(std::filesystem::path file);

    // The current user's store.
    static std::filesystem::path DefaultPath();

    std::optional<std::string> Read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    bool Write(std::string_view application, std::string_view section, std::string_view key,
               std::string_view value) override;
    bool Delete(std::string_view application, std::string_view section, std::string_view key) override;
    std::vector<SettingEntry> List(std::optional<std::string_view> application) override;

    const std::filesystem::path& path() const { return file_; }

private:
    template <typename Edit>
    bool Modify(Edit edit);

    std::filesystem::path file_;
};

// The text format, exposed for tests and the companion tool.
namespace ini {
// Why a name cannot be stored, or empty text when it can: names stand in
// "[product\section]" headers and before " = " unquoted. A product's name
// also may not hold "\".
std::string NameProblem(std::string_view name, bool isApplication);
// A value as written after "key = ": plain when it reads back unchanged,
// otherwise in double quotes with backslash escapes.
std::string EncodeValue(std::string_view value);
std::string DecodeValue(std::string_view stored);
}  // namespace ini

}  // namespace dorvane
