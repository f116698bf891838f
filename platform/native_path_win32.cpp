#include "platform/ansi_text.h"
#include "platform/native_path.h"

namespace dorvane {

std::filesystem::path DosDevicesFolder() { return {}; }

// Settings hold text in the system's 8-bit code page, as the products write
// it; the path keeps the system's own (wide) form.
std::filesystem::path ToNativePath(std::string_view text) { return std::filesystem::path(WideFromAnsi(text)); }

std::string PathText(const std::filesystem::path& path) { return AnsiFromWide(path.native()); }

}  // namespace dorvane
