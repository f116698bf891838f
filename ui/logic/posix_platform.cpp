#include "ui/logic/posix_platform.h"

#include "core/error.h"

namespace dorvane::ui {

RegistryStatus PosixRegistry::OpenKey(RegistryKey, const std::string&, std::uint32_t, RegistryKey& opened) {
    opened = 0;
    return kRegistryFileNotFound;
}

RegistryValue PosixRegistry::QueryValue(RegistryKey, const std::string&, std::size_t) {
    return RegistryValue{kRegistryFileNotFound, 0, {}};
}

void PosixRegistry::CloseKey(RegistryKey) {}

void PosixProgramStarter::Start(const std::string& commandLine, int) {
    throw Error(errc::kNotAvailable,
                "Cannot start \"" + commandLine + "\": this platform has no system information tool.");
}

}  // namespace dorvane::ui
