#pragma once
// StartSysInfo: finds the platform's system information tool through the
// machine registry and starts it.

#include <string>
#include <string_view>

namespace dorvane {
class FileSystem;
class MessageBoxes;
}  // namespace dorvane

namespace dorvane::ui {

class Registry;

inline constexpr std::string_view kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// Normal window that receives the focus.
inline constexpr int kWindowNormalFocus = 1;

// Starts a program from a command line without waiting for it; throws
// dorvane::Error when it cannot be started.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual void Start(const std::string& commandLine, int windowStyle) = 0;
};

struct SysInfoPlatform {
    Registry& registry;
    FileSystem& files;
    ProgramStarter& starter;
    MessageBoxes& boxes;
};

// Starts the tool named by the registry (its PATH, else MSINFO32.EXE in the
// folder of the shared-tools location). When neither leads to a program that
// starts, shows "System Information Is Unavailable At This Time" with the
// application title as caption. Nothing is logged.
void StartSysInfo(const SysInfoPlatform& platform);

}  // namespace dorvane::ui
