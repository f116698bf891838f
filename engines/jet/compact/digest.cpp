#include "engines/jet/compact/digest.h"

#include <algorithm>
#include <cstring>

namespace dorvane::jet::compact {

namespace {

// Odd multipliers with well-spread bits (digits of pi and e).
constexpr std::uint64_t kMultipliers[Digest::kLanes] = {0xA4093822299F31D1, 0xB7E151628AED2A6B, 0x082EFA98EC4E6C89,
                                                        0x452821E638D01377};
constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15;

// A word multiplied in, the lane turned and multiplied again: every bit of
// the word reaches every bit of the lane within a few words.
std::uint64_t Step(std::uint64_t lane, std::uint64_t word, std::uint64_t multiplier) {
    lane += word * multiplier;
    lane = lane << 31 | lane >> 33;
    return lane * kMix;
}

}  // namespace

void Digest::Word(std::uint64_t word) {
    const std::size_t lane = next_lane_;
    lanes_[lane] = Step(lanes_[lane], word, kMultipliers[lane]);
    next_lane_ = (lane + 1) % kLanes;
}

void Digest::Add(ByteSpan bytes) {
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    // The next lane in a variable, not the member: the lanes' stores would
    // otherwise make every word wait to reload it.
    std::size_t lane = next_lane_;
    const auto put = [this, &lane](std::uint64_t word) {
        lanes_[lane] = Step(lanes_[lane], word, kMultipliers[lane]);
        lane = (lane + 1) % kLanes;
    };
    for (; left >= 8 && lane != 0; at += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, 8);
        put(word);
    }
    // Whole rounds of the four lanes, each lane a variable of its own so
    // that it stays in a register: a long value's bytes go through here.
    static_assert(kLanes == 4);
    if (left >= 8 * kLanes) {
        std::uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
        for (; left >= 8 * kLanes; at += 8 * kLanes, left -= 8 * kLanes) {
            std::uint64_t words[kLanes];
            std::memcpy(words, at, sizeof words);
            a = Step(a, words[0], kMultipliers[0]);
            b = Step(b, words[1], kMultipliers[1]);
            c = Step(c, words[2], kMultipliers[2]);
            d = Step(d, words[3], kMultipliers[3]);
        }
        lanes_[0] = a;
        lanes_[1] = b;
        lanes_[2] = c;
        lanes_[3] = d;
    }
    for (; left >= 8; at += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, 8);
        put(word);
    }
    std::uint64_t tail = 0;
    for (std::size_t i = 0; i < left; ++i) tail |= std::uint64_t{at[i]} << (8 * i);
    put(tail);
    put(bytes.size());
    next_lane_ = lane;
}

void Digest::AddU32(std::uint32_t value) { Word(std::uint64_t{value} | std::uint64_t{1} << 32); }

bool Digest::operator==(const Digest& other) const {
    return std::equal(std::begin(lanes_), std::end(lanes_), std::begin(other.lanes_)) && next_lane_ == other.next_lane_;
}

}  // namespace dorvane::jet::compact
