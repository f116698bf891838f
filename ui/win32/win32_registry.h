#pragma once
// The machine registry for the system-information launcher, through the
// wide registry functions of advapi32: names and text values in UTF-8.

#include "ui/logic/registry.h"

namespace dorvane::win32ui {

class Win32Registry final : public ui::Registry {
public:
    ui::RegistryStatus OpenKey(ui::RegistryKey root, const std::string& path, std::uint32_t rights,
                               ui::RegistryKey& opened) override;
    // A text value as UTF-8 (with its terminating NUL when it has one),
    // any other value's bytes as the query reports them; more than capacity
    // bytes fail as too large.
    ui::RegistryValue QueryValue(ui::RegistryKey key, const std::string& name, std::size_t capacity) override;
    void CloseKey(ui::RegistryKey key) override;
};

}  // namespace dorvane::win32ui
