#include "platform/native_path.h"
#include "platform/wide_text.h"

namespace dorvane {

std::filesystem::path DosDevicesFolder() { return {}; }

// The path keeps the system's own (wide) form; it is never built from 8-bit
// text, which the standard library would read in the current locale's code page.
std::filesystem::path ToNativePath(std::string_view text) { return std::filesystem::path(WideFromUtf8(text)); }

std::string PathText(const std::filesystem::path& path) { return Utf8FromWide(path.native()); }

}  // namespace dorvane
