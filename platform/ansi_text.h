#pragma once
// Windows builds only: the program's text is in the system's 8-bit code page
// (as the products write their settings); the system's wide functions take
// UTF-16. Characters without an equivalent become the code page's default.

#include <string>
#include <string_view>

namespace dorvane {

std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

}  // namespace dorvane
