#pragma once
// A small number for every page of a file, 0 for none: two bytes a page
// while every number set fits in them, four from the first that does not.
// Tables and columns are few beside pages, so this holds per-page owners
// in less than a list of the pages each one names.

#include <cstdint>
#include <vector>

namespace dorvane::jet {

class PageNumbers {
public:
    PageNumbers() = default;
    explicit PageNumbers(std::uint32_t pages) : narrow_(pages, 0) {}

    // 0 for a page past the end.
    std::uint32_t Get(std::uint32_t page) const {
        if (!wide_.empty()) return page < wide_.size() ? wide_[page] : 0;
        return page < narrow_.size() ? narrow_[page] : 0;
    }
    // A page past the end is left alone.
    void Set(std::uint32_t page, std::uint32_t number) {
        if (number > 0xFFFF && wide_.empty() && !narrow_.empty()) {
            wide_.assign(narrow_.begin(), narrow_.end());
            narrow_ = {};
        }
        if (!wide_.empty()) {
            if (page < wide_.size()) wide_[page] = number;
        } else if (page < narrow_.size()) {
            narrow_[page] = static_cast<std::uint16_t>(number);
        }
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(wide_.empty() ? narrow_.size() : wide_.size()); }

private:
    std::vector<std::uint16_t> narrow_;
    std::vector<std::uint32_t> wide_;  // in use once a number needs it; narrow_ is then empty
};

}  // namespace dorvane::jet
