#pragma once
// The per-user settings store on Windows, the one the products themselves
// use: one string value per key under the registry key
//   HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>
// The registry matches names without regard to case. It keeps text as
// UTF-16 whatever code page the products wrote it through; the store reads
// and writes it with the wide functions and gives the program UTF-8, so any
// character a value holds comes through unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/settings_store.h"

namespace dorvane {

class RegistrySettingsStore final : public SettingsStore {
public:
    // basePath: the key under HKEY_CURRENT_USER that holds the applications.
    explicit RegistrySettingsStore(std::string basePath = kDefaultBasePath);

    static constexpr const char* kDefaultBasePath = "Software\\VB and VBA Program Settings";

    // Empty names and names holding "\" address no setting: Read gives
    // nullopt, Write and Delete false. Values of a type other than text read
    // as absent.
    std::optional<std::string> Read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    // Creates the application and section keys when missing. A value holding
    // a NUL character cannot be stored as text and is refused.
    bool Write(std::string_view application, std::string_view section, std::string_view key,
               std::string_view value) override;
    // False when there was no such value.
    bool Delete(std::string_view application, std::string_view section, std::string_view key) override;
    std::vector<SettingEntry> List(std::optional<std::string_view> application) override;

private:
    std::string basePath_;
};

}  // namespace dorvane
