#pragma once
// Windows builds only. The program's text is UTF-8 everywhere; the system's
// wide ("W") functions take UTF-16. Every call that hands text to the system
// or takes text from it converts here, so no text passes through the 8-bit
// code pages on its way (they cannot hold every character a path may have).

#include <string>
#include <string_view>

namespace dorvane {

// Bytes that are not UTF-8 become U+FFFD, so a damaged path fails to open
// rather than naming another file.
std::wstring WideFromUtf8(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace dorvane
