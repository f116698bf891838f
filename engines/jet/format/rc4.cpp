#include "engines/jet/format/rc4.h"

#include <array>
#include <utility>

namespace dorvane::jet {

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
    if (key.empty()) return;
    std::array<std::uint8_t, 256> state{};
    for (std::size_t i = 0; i < state.size(); ++i) state[i] = static_cast<std::uint8_t>(i);
    std::size_t j = 0;
    for (std::size_t i = 0; i < state.size(); ++i) {
        j = (j + state[i] + key[i % key.size()]) & 0xFF;
        std::swap(state[i], state[j]);
    }
    std::size_t i = 0;
    j = 0;
    for (std::uint8_t& byte : data) {
        i = (i + 1) & 0xFF;
        j = (j + state[i]) & 0xFF;
        std::swap(state[i], state[j]);
        byte ^= state[(state[i] + state[j]) & 0xFF];
    }
}

void ApplyPageCipher(std::uint32_t key, std::uint32_t page, std::span<std::uint8_t> bytes) {
    const std::uint32_t pageKey = key ^ page;
    const std::array<std::uint8_t, 4> keyBytes{
        static_cast<std::uint8_t>(pageKey), static_cast<std::uint8_t>(pageKey >> 8),
        static_cast<std::uint8_t>(pageKey >> 16), static_cast<std::uint8_t>(pageKey >> 24)};
    Rc4Apply(keyBytes, bytes);
}

}  // namespace dorvane::jet
