#include "engines/jet/compact/digest.h"

#include <cstring>

namespace dorvane::jet::compact {

namespace {

// Odd constants with well-spread bits (digits of pi and e).
constexpr std::uint64_t kMulA = 0xA4093822299F31D1;
constexpr std::uint64_t kAddA = 0x082EFA98EC4E6C89;
constexpr std::uint64_t kMulB = 0xB7E151628AED2A6B;
constexpr std::uint64_t kAddB = 0x452821E638D01377;

__extension__ using Product = unsigned __int128;

std::uint64_t Fold(std::uint64_t x, std::uint64_t k) {
    const Product product = static_cast<Product>(x) * k;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t RotateLeft32(std::uint64_t x) { return x << 32 | x >> 32; }

}  // namespace

void Digest::Word(std::uint64_t word) {
    a_ = Fold(a_ ^ word, kMulA) + kAddA;
    b_ = Fold(b_ ^ RotateLeft32(word), kMulB) + kAddB;
}

void Digest::Add(ByteSpan bytes) {
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        Word(word);
    }
    std::uint64_t tail = 0;
    if (at < bytes.size()) std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
    Word(tail);
    Word(bytes.size());
}

void Digest::AddU32(std::uint32_t value) { Word(std::uint64_t{value} | std::uint64_t{1} << 32); }

}  // namespace dorvane::jet::compact
