#include "ui/logic/registry_value.h"

#include <cstdint>

#include "core/error.h"

namespace dorvane::ui {
namespace {

// The runtime's number for an argument out of range.

}  // namespace

std::string DwordText(const std::string& bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    return "&h" + digits;
}

bool GetKeyValue(Registry& registry, RegistryKey KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal) {
    RegistryKey handle = 0;
    if (registry.OpenKey(KeyRoot, KeyName, kKeyRead, handle) != kRegistrySuccess) {
        KeyVal.clear();
        return false;
    }
    const OpenedKey key(registry, handle);

    const auto value = registry.QueryValue(key.get(), SubKeyRef, kValueBufferSize);
    if (value.status != kRegistrySuccess || value.data.size() > kValueBufferSize) {
        KeyVal.clear();
        return false;
    }
    const std::size_t n = value.data.size();
    if (n == 0) {
        throw Error(errc::kInvalidArgument,
                    "The registry value \"" + SubKeyRef + "\" of \"" + KeyName + "\" holds no data.");
    }
    // Text values carry a terminating NUL; data without one stays whole.
    const std::string kept = value.data.substr(0, value.data[n - 1] == '\0' ? n - 1 : n);

    switch (value.type) {
        case kRegSz:
            KeyVal = kept;
            break;
        case kRegDword:
            KeyVal = DwordText(kept);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace dorvane::ui
