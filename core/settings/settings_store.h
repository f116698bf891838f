#pragma once
// The per-user store in which the products keep their settings, addressed by
// application, section and key; names match without regard to letter case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

struct SettingEntry {
    std::string application;
    std::string section;
    std::string key;
    std::string value;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or nullopt when the application, section or key does
    // not exist. Never throws for a missing value.
    virtual std::optional<std::string> Read(std::string_view application, std::string_view section,
                                            std::string_view key) = 0;
    // Stores the value, creating application and section. False on failure.
    virtual bool Write(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view value) = 0;
    // Administration only (the companion tool); the program never deletes.
    virtual bool Delete(std::string_view application, std::string_view section, std::string_view key) = 0;
    // Every entry, or those of one application when it is given.
    virtual std::vector<SettingEntry> List(std::optional<std::string_view> application) = 0;
};

// get(application, section, key[, default]): the key's text when it exists,
// even when empty; otherwise the default as text, or empty text.
std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key);
std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key, std::string_view defaultValue);
std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key, long defaultValue);

// save(application, section, key, value): a failed save is ignored.
void SaveSetting(SettingsStore& store, std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value);

// Names compare without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace dorvane
