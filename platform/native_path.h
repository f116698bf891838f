#pragma once
// Where a file is touched, path text in the products' form is mapped to the
// platform: unchanged on Windows; on POSIX "\" becomes "/" and a drive letter
// goes through a folder of links named like "c:" (the dosdevices convention
// of Wine prefixes). Native POSIX paths ("/srv/bresk") pass through.

#include <filesystem>
#include <string_view>

namespace dorvane {

// $DORVANE_DOSDEVICES, or else ${WINEPREFIX:-~/.wine}/dosdevices.
std::filesystem::path DosDevicesFolder();

// A drive letter without a link maps to a path that does not exist, so it
// fails like a missing file.
std::filesystem::path ToNativePath(std::string_view text);

}  // namespace dorvane
