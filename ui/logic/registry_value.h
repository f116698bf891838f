#pragma once
// GetKeyValue: one registry value read as text.

#include <cstddef>
#include <string>

#include "ui/logic/registry.h"

namespace dorvane::ui {

inline constexpr std::size_t kValueBufferSize = 1024;

// Opens KeyName under KeyRoot for reading only and reads the value SubKeyRef:
// REG_SZ gives its text without the terminating NUL, REG_DWORD gives "&h" and
// the number in upper-case hexadecimal; any other type leaves KeyVal as it
// was. A missing key or value, refused access or a value over 1024 bytes:
// false and KeyVal empty. A value of 0 bytes throws dorvane::Error. The key is
// closed on every way out.
bool GetKeyValue(Registry& registry, RegistryKey KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal);

// "&h" and the little-endian number that the bytes hold, in upper-case
// hexadecimal without leading zeros ("&h0" for zero).
std::string DwordText(const std::string& bytes);

}  // namespace dorvane::ui
