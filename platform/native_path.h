#pragma once
// Where a file is touched, path text in the products' form is mapped to the
// platform: unchanged on Windows; on POSIX "\" becomes "/" and a drive letter
// goes through a folder of links named like "c:" (the dosdevices convention
// of Wine prefixes). Native POSIX paths ("/srv/bresk") pass through.

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "core/error.h"

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

// Messages show paths as the settings hold them ("D:\Zentro\Data\post_db.mdb"),
// not as they were mapped. An error raised while touching the files that
// `texts` name is restated: each path it names (Error::paths) that is one of
// those files, or a file in the same folder (its lock file, a copy being
// written beside it), is named in the text's form. Paths the mapping left as
// they were (all of them on Windows) need nothing.
Error WithPathsAsGiven(const Error& error, std::initializer_list<std::string_view> texts);

// Runs `work`, restating any dorvane::Error it throws by WithPathsAsGiven.
template <typename Work>
decltype(auto) NamingPathsAsGiven(std::initializer_list<std::string_view> texts, Work&& work) {
    try {
        return std::forward<Work>(work)();
    } catch (const Error& error) {
        throw WithPathsAsGiven(error, texts);
    }
}

}  // namespace dorvane
