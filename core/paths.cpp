#include "core/paths.h"

#include <cstdlib>

namespace dorvane {

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += '\\';
    path += name;
    return path;
}

#ifdef _WIN32
std::filesystem::path DosDevicesFolder() { return {}; }

std::filesystem::path ToNativePath(std::string_view text) {
    return std::filesystem::u8path(text.begin(), text.end());
}
#else
std::filesystem::path DosDevicesFolder() {
    if (const char* explicitFolder = std::getenv("DORVANE_DOSDEVICES"); explicitFolder && *explicitFolder) {
        return explicitFolder;
    }
    std::filesystem::path prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine && *wine) {
        prefix = wine;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
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
    const bool hasDrive = converted.size() >= 2 && converted[1] == ':' &&
                          ((converted[0] >= 'A' && converted[0] <= 'Z') ||
                           (converted[0] >= 'a' && converted[0] <= 'z'));
    if (!hasDrive) return converted;
    std::string drive;
    drive += static_cast<char>(converted[0] | 0x20);  // links are named in lower case
    drive += ':';
    std::string rest = converted.substr(2);
    // "C:name" is relative to the drive's current folder; treat it as its root.
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    std::filesystem::path mapped = DosDevicesFolder() / drive;
    if (!rest.empty()) mapped /= rest;
    return mapped;
}
#endif

}  // namespace dorvane
