#include "ui/win32/win32_registry.h"

#include <cstdint>

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

ui::RegistryStatus Win32Registry::OpenKey(ui::RegistryKey root, const std::string& path,
                                          std::uint32_t rights, ui::RegistryKey& opened) {
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExA(ToHandle(root), path.c_str(), 0, rights, &handle);
    opened = status == ERROR_SUCCESS ? reinterpret_cast<ui::RegistryKey>(handle) : 0;
    return status;
}

ui::RegistryValue Win32Registry::QueryValue(ui::RegistryKey key, const std::string& name,
                                            std::size_t capacity) {
    ui::RegistryValue value;
    std::string buffer(capacity, '\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(capacity);
    value.status = RegQueryValueExA(ToHandle(key), name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (value.status == ERROR_SUCCESS) {
        value.type = type;
        buffer.resize(size <= capacity ? size : capacity);
        value.data = std::move(buffer);
    }
    return value;
}

void Win32Registry::CloseKey(ui::RegistryKey key) { RegCloseKey(ToHandle(key)); }

}  // namespace dorvane::win32ui
