#pragma once
// The machine registry as the system-information launcher reads it: open a
// key with requested rights, query one value, close the key. Status codes are
// the platform's (0 is success).

#include <cstdint>
#include <string>

namespace dorvane::ui {

using RegistryKey = std::uintptr_t;
using RegistryStatus = long;

inline constexpr RegistryKey kHKeyLocalMachine = 0x80000002u;

inline constexpr RegistryStatus kRegistrySuccess = 0;
inline constexpr RegistryStatus kRegistryFileNotFound = 2;
inline constexpr RegistryStatus kRegistryAccessDenied = 5;
inline constexpr RegistryStatus kRegistryMoreData = 234;

// Read control, query value, enumerate subkeys, notify: reading needs no more.
inline constexpr std::uint32_t kKeyRead = 0x20019u;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    RegistryStatus status = kRegistryFileNotFound;
    std::uint32_t type = 0;
    std::string data;  // the bytes the query wrote, as many as it reported
};

class Registry {
public:
    virtual ~Registry() = default;
    virtual RegistryStatus OpenKey(RegistryKey root, const std::string& path, std::uint32_t rights,
                                   RegistryKey& opened) = 0;
    // A value larger than capacity fails (kRegistryMoreData).
    virtual RegistryValue QueryValue(RegistryKey key, const std::string& name, std::size_t capacity) = 0;
    virtual void CloseKey(RegistryKey key) = 0;
};

// Owns one opened key and closes it on every way out.
class OpenedKey {
public:
    OpenedKey(Registry& registry, RegistryKey key) : registry_(registry), key_(key) {}
    ~OpenedKey() { registry_.CloseKey(key_); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    RegistryKey get() const { return key_; }

private:
    Registry& registry_;
    RegistryKey key_;
};

}  // namespace dorvane::ui
