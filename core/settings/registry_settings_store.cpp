#include "core/settings/registry_settings_store.h"

#include "platform/windows_api.h"

#include <utility>

#include "platform/wide_text.h"

namespace dorvane {
namespace {

// One open registry key, closed when it goes out of scope.
class Key {
public:
    Key() = default;
    ~Key() {
        if (handle_ != nullptr) RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    bool Open(HKEY parent, const std::wstring& path, REGSAM rights) {
        return RegOpenKeyExW(parent, path.c_str(), 0, rights, &handle_) == ERROR_SUCCESS;
    }
    bool Create(HKEY parent, const std::wstring& path, REGSAM rights) {
        return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, &handle_,
                               nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

bool UsableName(std::string_view name) { return !name.empty() && name.find('\\') == std::string_view::npos; }

std::wstring SectionPath(const std::string& base, std::string_view application, std::string_view section) {
    std::string path = base;
    path += '\\';
    path += application;
    path += '\\';
    path += section;
    return WideFromUtf8(path);
}

// A text value's characters up to its terminating NUL; nullopt for a missing
// value or one of another type.
std::optional<std::string> QueryText(HKEY key, const std::wstring& name) {
    DWORD type = 0;
    DWORD bytes = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
    std::wstring data;
    // The value may grow between the two calls; ask again until it fits.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD capacity = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &capacity);
        if (status == ERROR_SUCCESS) {
            data.resize(capacity / sizeof(wchar_t));
            if (const auto nul = data.find(L'\0'); nul != std::wstring::npos) data.resize(nul);
            if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
            return Utf8FromWide(data);
        }
        bytes = capacity;
    }
    return std::nullopt;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];  // the registry's limit for a key name is 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        const LONG status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::wstring name(longest + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = longest + 1;
        const LONG status = RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::string basePath) : basePath_(std::move(basePath)) {}

std::optional<std::string> RegistrySettingsStore::Read(std::string_view application, std::string_view section,
                                                       std::string_view key) {
    if (!UsableName(application) || !UsableName(section) || key.empty()) return std::nullopt;
    Key sectionKey;
    if (!sectionKey.Open(HKEY_CURRENT_USER, SectionPath(basePath_, application, section), KEY_QUERY_VALUE)) {
        return std::nullopt;
    }
    return QueryText(sectionKey.get(), WideFromUtf8(key));
}

bool RegistrySettingsStore::Write(std::string_view application, std::string_view section, std::string_view key,
                                  std::string_view value) {
    if (!UsableName(application) || !UsableName(section) || key.empty()) return false;
    if (value.find('\0') != std::string_view::npos) return false;
    Key sectionKey;
    if (!sectionKey.Create(HKEY_CURRENT_USER, SectionPath(basePath_, application, section), KEY_SET_VALUE)) {
        return false;
    }
    const std::wstring data = WideFromUtf8(value);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(sectionKey.get(), WideFromUtf8(key).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegistrySettingsStore::Delete(std::string_view application, std::string_view section, std::string_view key) {
    if (!UsableName(application) || !UsableName(section) || key.empty()) return false;
    Key sectionKey;
    if (!sectionKey.Open(HKEY_CURRENT_USER, SectionPath(basePath_, application, section), KEY_SET_VALUE)) {
        return false;
    }
    return RegDeleteValueW(sectionKey.get(), WideFromUtf8(key).c_str()) == ERROR_SUCCESS;
}

std::vector<SettingEntry> RegistrySettingsStore::List(std::optional<std::string_view> application) {
    std::vector<SettingEntry> entries;
    Key base;
    if (!base.Open(HKEY_CURRENT_USER, WideFromUtf8(basePath_), KEY_ENUMERATE_SUB_KEYS)) return entries;
    for (const auto& appName : SubkeyNames(base.get())) {
        const std::string app = Utf8FromWide(appName);
        if (application && !SameName(app, *application)) continue;
        Key appKey;
        if (!appKey.Open(base.get(), appName, KEY_ENUMERATE_SUB_KEYS)) continue;
        for (const auto& sectionName : SubkeyNames(appKey.get())) {
            Key sectionKey;
            if (!sectionKey.Open(appKey.get(), sectionName, KEY_QUERY_VALUE)) continue;
            for (const auto& valueName : ValueNames(sectionKey.get())) {
                if (auto text = QueryText(sectionKey.get(), valueName)) {
                    entries.push_back({app, Utf8FromWide(sectionName), Utf8FromWide(valueName), std::move(*text)});
                }
            }
        }
    }
    return entries;
}

}  // namespace dorvane
