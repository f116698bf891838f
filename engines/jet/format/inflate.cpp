#include "engines/jet/format/inflate.h"

#include <array>

#include "core/error.h"

namespace dorvane::jet {

namespace {

constexpr std::array<std::uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase{1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                      33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

[[noreturn]] void Malformed() { ThrowCorrupt("an attachment's compressed data is malformed"); }

class BitReader {
public:
    explicit BitReader(ByteSpan bytes) : bytes_(bytes) {}
    unsigned Bits(unsigned count) {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (at_ >= bytes_.size()) Malformed();
            value |= ((bytes_[at_] >> bit_) & 1u) << i;
            if (++bit_ == 8) bit_ = 0, ++at_;
        }
        return value;
    }
    void AlignToByte() {
        if (bit_ != 0) bit_ = 0, ++at_;
    }
    std::uint8_t Byte() {
        if (at_ >= bytes_.size()) Malformed();
        return bytes_[at_++];
    }

private:
    ByteSpan bytes_;
    std::size_t at_ = 0;
    unsigned bit_ = 0;
};

// Canonical Huffman code: counts per length and symbols in code order.
struct Huffman {
    std::array<std::uint16_t, 16> counts{};
    std::vector<std::uint16_t> symbols;

    explicit Huffman(const std::vector<std::uint8_t>& lengths) {
        for (const std::uint8_t length : lengths) ++counts[length];
        counts[0] = 0;
        std::array<std::uint16_t, 16> offsets{};
        for (std::size_t i = 1; i < 16; ++i) offsets[i] = static_cast<std::uint16_t>(offsets[i - 1] + counts[i - 1]);
        symbols.resize(lengths.size());
        for (std::size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] != 0) symbols[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
    }

    unsigned Decode(BitReader& in) const {
        int code = 0, first = 0, index = 0;
        for (std::size_t length = 1; length < 16; ++length) {
            code |= static_cast<int>(in.Bits(1));
            const int count = counts[length];
            if (code - count < first) return symbols.at(static_cast<std::size_t>(index + (code - first)));
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        Malformed();
    }
};

void Copy(Bytes& out, std::size_t distance, std::size_t length, std::size_t limit) {
    if (distance == 0 || distance > out.size()) Malformed();
    if (out.size() + length > limit) ThrowCorrupt("an attachment is longer than its stored length");
    for (std::size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
}

void Block(BitReader& in, const Huffman& literals, const Huffman& distances, Bytes& out, std::size_t limit) {
    for (;;) {
        const unsigned symbol = literals.Decode(in);
        if (symbol < 256) {
            if (out.size() >= limit) ThrowCorrupt("an attachment is longer than its stored length");
            out.push_back(static_cast<std::uint8_t>(symbol));
            continue;
        }
        if (symbol == 256) return;
        const unsigned l = symbol - 257;
        if (l >= kLengthBase.size()) Malformed();
        const std::size_t length = kLengthBase[l] + in.Bits(kLengthExtra[l]);
        const unsigned d = distances.Decode(in);
        if (d >= kDistanceBase.size()) Malformed();
        Copy(out, kDistanceBase[d] + in.Bits(kDistanceExtra[d]), length, limit);
    }
}

void DynamicBlock(BitReader& in, Bytes& out, std::size_t limit) {
    const unsigned literalCount = in.Bits(5) + 257, distanceCount = in.Bits(5) + 1, codeCount = in.Bits(4) + 4;
    std::vector<std::uint8_t> codeLengths(19, 0);
    for (unsigned i = 0; i < codeCount; ++i) codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(in.Bits(3));
    const Huffman codes(codeLengths);
    std::vector<std::uint8_t> lengths;
    while (lengths.size() < literalCount + distanceCount) {
        const unsigned symbol = codes.Decode(in);
        if (symbol < 16) {
            lengths.push_back(static_cast<std::uint8_t>(symbol));
            continue;
        }
        if (symbol == 16 && lengths.empty()) Malformed();
        const std::uint8_t repeated = symbol == 16 ? lengths.back() : 0;
        const unsigned times = symbol == 16 ? 3 + in.Bits(2) : symbol == 17 ? 3 + in.Bits(3) : 11 + in.Bits(7);
        lengths.insert(lengths.end(), times, repeated);
    }
    if (lengths.size() != literalCount + distanceCount) Malformed();
    const Huffman literals(std::vector<std::uint8_t>(lengths.begin(), lengths.begin() + literalCount));
    const Huffman distances(std::vector<std::uint8_t>(lengths.begin() + literalCount, lengths.end()));
    Block(in, literals, distances, out, limit);
}

}  // namespace

Bytes InflateZlib(ByteSpan stream, std::size_t limit) {
    // Header: deflate with a window of at most 32 KiB, no preset dictionary.
    if (stream.size() < 2 || (stream[0] & 0x0F) != 8 || (stream[0] >> 4) > 7 || (stream[1] & 0x20) != 0 ||
        ((stream[0] << 8) | stream[1]) % 31 != 0)
        Malformed();
    BitReader in(stream.subspan(2));
    Bytes out;
    for (bool last = false; !last;) {
        last = in.Bits(1) != 0;
        switch (in.Bits(2)) {
            case 0: {
                in.AlignToByte();
                // Little-endian words, read in order.
                const auto word = [&in] {
                    const unsigned low = in.Byte();
                    return low | (static_cast<unsigned>(in.Byte()) << 8u);
                };
                const unsigned length = word();
                const unsigned complement = word();
                if ((length ^ 0xFFFFu) != complement) Malformed();
                if (out.size() + length > limit) ThrowCorrupt("an attachment is longer than its stored length");
                for (unsigned i = 0; i < length; ++i) out.push_back(in.Byte());
                break;
            }
            case 1: {
                std::vector<std::uint8_t> lengths(288, 8);
                std::fill(lengths.begin() + 144, lengths.begin() + 256, std::uint8_t{9});
                std::fill(lengths.begin() + 256, lengths.begin() + 280, std::uint8_t{7});
                Block(in, Huffman(lengths), Huffman(std::vector<std::uint8_t>(30, 5)), out, limit);
                break;
            }
            case 2:
                DynamicBlock(in, out, limit);
                break;
            default:
                Malformed();
        }
    }
    in.AlignToByte();
    std::uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) stored = (stored << 8) | in.Byte();
    std::uint32_t a = 1, b = 0;  // Adler-32
    for (const std::uint8_t byte : out) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    if (stored != ((b << 16) | a)) ThrowCorrupt("an attachment's compressed data fails its checksum");
    return out;
}

}  // namespace dorvane::jet
