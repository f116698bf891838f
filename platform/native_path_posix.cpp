#include <cstdlib>

#include "platform/native_path.h"

namespace dorvane {

std::filesystem::path DosDevicesFolder() {
    if (const char* explicitFolder = std::getenv("DORVANE_DOSDEVICES");
        explicitFolder != nullptr && *explicitFolder != '\0') {
        return explicitFolder;
    }
    std::filesystem::path prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine != nullptr && *wine != '\0') {
        prefix = wine;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        prefix = std::filesystem::path(home) / ".wine";
    } else {
        prefix = "/nonexistent/.wine";
    }
    return prefix / "dosdevices";
}

std::filesystem::path ToNativePath(std::string_view text) {
    std::string converted(text);
    for (char& c : converted) {
        if (c == '\\') c = '/';
    }
    const bool hasDrive =
        converted.size() >= 2 && converted[1] == ':' &&
        ((converted[0] >= 'A' && converted[0] <= 'Z') || (converted[0] >= 'a' && converted[0] <= 'z'));
    if (!hasDrive) return converted;
    std::string drive;
    drive += static_cast<char>(converted[0] | 0x20);  // links are named in lower case
    drive += ':';
    std::string rest = converted.substr(2);
    // "C:name" means the drive's current folder, which POSIX lacks: take its root.
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    std::filesystem::path mapped = DosDevicesFolder() / drive;
    if (!rest.empty()) mapped /= rest;
    return mapped;
}

std::string PathText(const std::filesystem::path& path) { return path.string(); }

}  // namespace dorvane
