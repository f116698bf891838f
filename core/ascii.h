#pragma once
// Letters compared and folded as ASCII, whatever the process's locale: names
// of settings, products, tables and columns, file patterns and keywords are
// matched as the products match them, A-Z against a-z and nothing else.

#include <algorithm>
#include <string>
#include <string_view>

namespace dorvane {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

inline bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [](char x, char y) { return AsciiLower(x) == AsciiLower(y); }) != text.end();
}

}  // namespace dorvane
