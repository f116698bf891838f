#pragma once
// Paths are built and shown as text in the products' form ("C:\Zentro\Bresk",
// "\" between names). Only where a file is touched is the text mapped to the
// platform: unchanged on Windows; on POSIX "\" becomes "/" and a drive letter
// goes through a folder of links named like "c:" (the dosdevices convention).

#include <filesystem>
#include <string>
#include <string_view>

namespace dorvane {

// Folder, "\", name: plain joining, no normalisation.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder of links for drive letters: $DORVANE_DOSDEVICES, or else
// ${WINEPREFIX:-~/.wine}/dosdevices.
std::filesystem::path DosDevicesFolder();

// The native path for a path text. A drive letter without a link maps to a
// path that does not exist, so it fails like a missing file.
std::filesystem::path ToNativePath(std::string_view text);

}  // namespace dorvane
