#include "ui/win32/win32_registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/wide_text.h"
#include "platform/windows_api.h"

namespace dorvane::win32ui {
namespace {

// The predefined roots are 32-bit values that Win64 sign-extends
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there); opened keys pass as they are.
HKEY ToHandle(ui::RegistryKey key) {
    if (key >= 0x80000000u && key <= 0xFFFFFFFFu) {
        return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(key)));
    }
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

ui::RegistryStatus Win32Registry::OpenKey(ui::RegistryKey root, const std::string& path, std::uint32_t rights,
                                          ui::RegistryKey& opened) {
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExW(ToHandle(root), WideFromUtf8(path).c_str(), 0, rights, &handle);
    opened = status == ERROR_SUCCESS ? reinterpret_cast<ui::RegistryKey>(handle) : 0;
    return status;
}

ui::RegistryValue Win32Registry::QueryValue(ui::RegistryKey key, const std::string& name, std::size_t capacity) {
    ui::RegistryValue value;
    // Room for capacity characters of text; the result must fit capacity
    // bytes as the program holds it.
    std::vector<BYTE> buffer(capacity * sizeof(wchar_t), 0);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    value.status = RegQueryValueExW(ToHandle(key), WideFromUtf8(name).c_str(), nullptr, &type, buffer.data(), &size);
    if (value.status != ERROR_SUCCESS) return value;
    value.type = type;
    const std::size_t got = std::min<std::size_t>(size, buffer.size());
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(got / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), buffer.data(), text.size() * sizeof(wchar_t));
        value.data = Utf8FromWide(text);  // a terminating NUL stays one
    } else {
        value.data.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (value.data.size() > capacity) {
        value.status = ERROR_MORE_DATA;
        value.data.clear();
    }
    return value;
}

void Win32Registry::CloseKey(ui::RegistryKey key) { RegCloseKey(ToHandle(key)); }

}  // namespace dorvane::win32ui
