#include "engines/jet/compact/tdef_writer.h"

#include <algorithm>
#include <stdexcept>

#include "core/error.h"

namespace dorvane::jet::compact {

namespace {
constexpr std::size_t kContinuationHeader = 8;
}

TdefStream::TdefStream(const PageLayout& layout, std::vector<std::uint32_t> pages,
                       std::vector<std::vector<std::uint8_t>> original)
    : layout_(layout), pages_(std::move(pages)), original_(std::move(original)) {
    if (pages_.empty() || pages_.size() != original_.size())
        throw std::logic_error("table definition without its pages");
    for (std::size_t k = 0; k < original_.size(); ++k) {
        const auto& page = original_[k];
        if (page.size() != layout_.pageSize || page[0] != 0x02)
            throw Error(errc::kCorrupt, "a table definition page is damaged");
        const std::size_t from = k == 0 ? 0 : kContinuationHeader;
        stream_.insert(stream_.end(), page.begin() + static_cast<std::ptrdiff_t>(from), page.end());
    }
}

void TdefStream::PatchU32(std::size_t offset, std::uint32_t value) {
    if (offset + 4 > stream_.size()) throw Error(errc::kCorrupt, "a table definition field lies outside it");
    compact::PutU32(stream_, offset, value);
}

std::uint32_t TdefStream::GetU32(std::size_t offset) const {
    if (offset + 4 > stream_.size()) throw Error(errc::kCorrupt, "a table definition field lies outside it");
    return compact::GetU32(stream_, offset);
}

void TdefStream::Write(PageSink& sink) const {
    std::size_t at = 0;
    for (std::size_t k = 0; k < pages_.size(); ++k) {
        std::vector<std::uint8_t> page = original_[k];
        const std::size_t from = k == 0 ? 0 : kContinuationHeader;
        const std::size_t n = layout_.pageSize - from;
        std::copy_n(stream_.begin() + static_cast<std::ptrdiff_t>(at), n,
                    page.begin() + static_cast<std::ptrdiff_t>(from));
        at += n;
        sink.WritePage(pages_[k], page);
    }
}

}  // namespace dorvane::jet::compact
