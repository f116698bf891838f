#pragma once
// UTF-8 (the program's text) to and from UTF-16 (what the wide ODBC calls take).

#include <string>
#include <string_view>

namespace dorvane::odbc {

// Throws dorvane::Error naming `what` when the text is not valid UTF-8, so a
// statement is never sent with characters silently replaced.
std::u16string Utf8ToUtf16(std::string_view text, std::string_view what);

// Text from a driver; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace dorvane::odbc
