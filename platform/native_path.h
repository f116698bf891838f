#pragma once
// Where a file is touched, path text in the products' form is mapped to the
// platform: unchanged on Windows; on POSIX "\" becomes "/" and a drive letter
// goes through a folder of links named like "c:" (the dosdevices convention
// of Wine prefixes). Native POSIX paths ("/srv/bresk") pass through.

#include <filesystem>
#include <string>
#include <string_view>

namespace dorvane {

// POSIX: $DORVANE_DOSDEVICES, or else ${WINEPREFIX:-~/.wine}/dosdevices.
// Windows has no such folder: empty.
std::filesystem::path DosDevicesFolder();

// A drive letter without a link maps to a path that does not exist, so it
// fails like a missing file.
std::filesystem::path ToNativePath(std::string_view text);

// A native path (or one of its names) as the program's text, for messages
// and listings. It is not mapped back through the link folder.
std::string PathText(const std::filesystem::path& path);

}  // namespace dorvane
