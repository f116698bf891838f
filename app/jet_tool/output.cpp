#include "app/jet_tool/output.h"

#include <array>
#include <charconv>

namespace dorvane::jet_tool {

// Write errors are not reported here: the caller checks the stream once at
// the end (ferror), as it would a C++ stream's state.
Output& Output::operator<<(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream_);
    return *this;
}

Output& Output::operator<<(char c) {
    std::fputc(c, stream_);
    return *this;
}

Output& Output::Signed(long long number) {
    std::array<char, 24> digits;
    return *this << std::string_view(digits.data(),
                                     std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr);
}

Output& Output::Unsigned(unsigned long long number) {
    std::array<char, 24> digits;
    return *this << std::string_view(digits.data(),
                                     std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr);
}

}  // namespace dorvane::jet_tool
