#include "core/ascii.h"
#include "core/settings/settings_store.h"

#include <exception>

namespace dorvane {
namespace {

std::optional<std::string> SafeRead(SettingsStore& store, std::string_view application, std::string_view section,
                                    std::string_view key) {
    try {
        return store.Read(application, section, key);
    } catch (const std::exception&) {
        return std::nullopt;  // an unreadable store reads like a missing key
    }
}

}  // namespace

std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key) {
    return SafeRead(store, application, section, key).value_or(std::string());
}

std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key, std::string_view defaultValue) {
    auto value = SafeRead(store, application, section, key);
    return value ? *value : std::string(defaultValue);
}

std::string GetSetting(SettingsStore& store, std::string_view application, std::string_view section,
                       std::string_view key, long defaultValue) {
    auto value = SafeRead(store, application, section, key);
    return value ? *value : std::to_string(defaultValue);
}

void SaveSetting(SettingsStore& store, std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value) {
    try {
        (void)store.Write(application, section, key, value);
    } catch (const std::exception&) {
        // A failed save is ignored: the caller goes on as if it had worked.
    }
}

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

}  // namespace dorvane
