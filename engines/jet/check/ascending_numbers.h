#pragma once
// Numbers kept in ascending order as their distances from one another, in
// seven-bit groups: a table's long-value rows mostly follow one another on
// their pages, so most take one byte instead of four.

#include <cstddef>
#include <cstdint>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

class AscendingNumbers {
public:
    AscendingNumbers() = default;
    // `sorted` must not descend; equal neighbours are kept.
    template <typename Range>
    explicit AscendingNumbers(const Range& sorted) {
        // Measured first: grown by doubling, the bytes would hold up to twice
        // what they need.
        std::size_t length = 0;
        std::uint32_t before = 0;
        for (const std::uint32_t number : sorted) {
            for (std::uint32_t gap = number - before; gap >= 0x80; gap >>= 7) ++length;
            ++length;
            before = number;
        }
        bytes_.reserve(length);
        before = 0;
        for (const std::uint32_t number : sorted) {
            std::uint32_t gap = number - before;
            for (; gap >= 0x80; gap >>= 7) bytes_.push_back(static_cast<std::uint8_t>(gap | 0x80));
            bytes_.push_back(static_cast<std::uint8_t>(gap));
            before = number;
            ++count_;
        }
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Reads the numbers back in order.
    class Cursor {
    public:
        explicit Cursor(const AscendingNumbers& numbers) : numbers_(&numbers) {}
        // The next number into `out`; false after the last.
        bool Next(std::uint32_t& out) {
            const Bytes& bytes = numbers_->bytes_;
            if (at_ >= bytes.size()) return false;
            std::uint32_t gap = 0;
            for (unsigned shift = 0;; shift += 7) {
                const std::uint8_t byte = bytes[at_++];
                gap |= std::uint32_t{byte & 0x7Fu} << shift;
                if ((byte & 0x80) == 0) break;
            }
            last_ += gap;
            out = last_;
            return true;
        }

    private:
        const AscendingNumbers* numbers_;
        std::size_t at_ = 0;
        std::uint32_t last_ = 0;
    };

private:
    Bytes bytes_;
    std::size_t count_ = 0;
};

}  // namespace dorvane::jet
