#pragma once
// A small number for every page of a file, 0 for none: one byte a page while
// every number set fits in it, then two, then four. Tables and columns are
// few beside pages, so this holds per-page owners in less than a list of the
// pages each one names; a file near the format's limit has half a million
// pages.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace dorvane::jet {

class PageNumbers {
public:
    PageNumbers() = default;
    explicit PageNumbers(std::uint32_t pages) : pages_(pages), bytes_(pages, 0) {}

    // 0 for a page past the end.
    std::uint32_t Get(std::uint32_t page) const {
        if (page >= pages_) return 0;
        switch (width_) {
            case 1:
                return bytes_[page];
            case 2: {
                std::uint16_t number;
                std::memcpy(&number, bytes_.data() + std::size_t{page} * 2, 2);
                return number;
            }
            default: {
                std::uint32_t number;
                std::memcpy(&number, bytes_.data() + std::size_t{page} * 4, 4);
                return number;
            }
        }
    }
    // A page past the end is left alone.
    void Set(std::uint32_t page, std::uint32_t number) {
        if (page >= pages_) return;
        if (number > 0xFFFF)
            Widen(4);
        else if (number > 0xFF)
            Widen(2);
        switch (width_) {
            case 1:
                bytes_[page] = static_cast<std::uint8_t>(number);
                break;
            case 2: {
                const auto narrow = static_cast<std::uint16_t>(number);
                std::memcpy(bytes_.data() + std::size_t{page} * 2, &narrow, 2);
                break;
            }
            default:
                std::memcpy(bytes_.data() + std::size_t{page} * 4, &number, 4);
        }
    }
    std::uint32_t size() const { return pages_; }

private:
    void Widen(std::size_t width) {
        if (width <= width_) return;
        PageNumbers wider;
        wider.pages_ = pages_;
        wider.width_ = width;
        wider.bytes_.assign(std::size_t{pages_} * width, 0);
        for (std::uint32_t page = 0; page < pages_; ++page) wider.Set(page, Get(page));
        *this = std::move(wider);
    }

    std::uint32_t pages_ = 0;
    std::size_t width_ = 1;  // bytes a number
    std::vector<std::uint8_t> bytes_;
};

}  // namespace dorvane::jet
