#pragma once
// What the tool prints, written through stdio. The C++ streams are left out
// of the program: setting them and their locale up at every start took
// about as long as exporting a small table, and scripts start the tool once
// per table.

#include <concepts>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace dorvane::jet_tool {

class Output {
public:
    explicit Output(std::FILE* stream) : stream_(stream) {}

    Output& operator<<(std::string_view text);
    Output& operator<<(char c);
    // Numbers in decimal. Character types and bool are left out: a stream
    // prints those differently.
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, signed char> &&
             !std::same_as<T, unsigned char>) Output&
    operator<<(T number) {
        if constexpr (std::is_signed_v<T>)
            return Signed(number);
        else
            return Unsigned(number);
    }

private:
    Output& Signed(long long number);
    Output& Unsigned(unsigned long long number);

    std::FILE* stream_;
};

}  // namespace dorvane::jet_tool
