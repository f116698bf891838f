#pragma once
// The machine registry for the system-information launcher, through the
// 8-bit registry functions of advapi32.

#include "ui/logic/registry.h"

namespace dorvane::win32ui {

class Win32Registry final : public ui::Registry {
public:
    ui::RegistryStatus OpenKey(ui::RegistryKey root, const std::string& path, std::uint32_t rights,
                               ui::RegistryKey& opened) override;
    // The buffer starts as capacity NUL bytes; the value's bytes as the query
    // reports them.
    ui::RegistryValue QueryValue(ui::RegistryKey key, const std::string& name,
                                 std::size_t capacity) override;
    void CloseKey(ui::RegistryKey key) override;
};

}  // namespace dorvane::win32ui
