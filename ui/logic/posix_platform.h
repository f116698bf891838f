#pragma once
// POSIX has no machine registry and no system information tool: every key
// open fails, so the launcher shows its "unavailable" message.

#include "ui/logic/registry.h"
#include "ui/logic/sys_info.h"

namespace dorvane::ui {

class PosixRegistry final : public Registry {
public:
    RegistryStatus OpenKey(RegistryKey root, const std::string& path, std::uint32_t rights,
                           RegistryKey& opened) override;
    RegistryValue QueryValue(RegistryKey key, const std::string& name, std::size_t capacity) override;
    void CloseKey(RegistryKey key) override;
};

// Tool paths come from the Windows registry; here none can be started.
class PosixProgramStarter final : public ProgramStarter {
public:
    void Start(const std::string& commandLine, int windowStyle) override;
};

}  // namespace dorvane::ui
