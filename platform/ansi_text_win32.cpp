#include "platform/ansi_text.h"

#include "platform/wide_text.h"
#include "platform/windows_api.h"

namespace dorvane {

std::string SystemTextFileBytes(std::string_view utf8, CodePage page) {
    const std::wstring wide = WideFromUtf8(utf8);
    if (wide.empty()) return {};
    const UINT codePage = page == CodePage::kOem ? GetOEMCP() : GetACP();
    // A system set to UTF-8 as its code page refuses the flag (and needs none).
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int size = static_cast<int>(wide.size());
    const int count = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), count, nullptr, nullptr);
    return bytes;
}

}  // namespace dorvane
