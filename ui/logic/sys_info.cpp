#include "ui/logic/sys_info.h"

#include <exception>

#include "core/error.h"
#include "core/message_boxes.h"
#include "core/components/file_system.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/registry_value.h"

namespace dorvane::ui {
namespace {

constexpr const char* kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kToolValue = "PATH";
constexpr const char* kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kLocationValue = "MSINFO";
constexpr const char* kToolFile = "\\MSINFO32.EXE";

// The tool's path, or empty text when the registry names none that exists.
std::string FindTool(const SysInfoPlatform& platform) {
    std::string path;
    if (GetKeyValue(platform.registry, kHKeyLocalMachine, kToolKey, kToolValue, path)) {
        return path;
    }
    std::string folder;
    if (!GetKeyValue(platform.registry, kHKeyLocalMachine, kLocationKey, kLocationValue, folder)) {
        return {};
    }
    path = folder + kToolFile;
    return platform.files.Exists(path) ? path : std::string();
}

}  // namespace

void StartSysInfo(const SysInfoPlatform& platform) {
    try {
        const std::string tool = FindTool(platform);
        // An empty command line starts nothing on any platform.
        if (!tool.empty()) {
            platform.starter.Start(tool, kWindowNormalFocus);
            return;
        }
    } catch (const std::exception&) {
        // Any failure on the way ends in the message below.
    }
    platform.boxes.Show(std::string(kSysInfoUnavailable), BoxIcon::None, std::string(kApplicationTitle));
}

}  // namespace dorvane::ui
