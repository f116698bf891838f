#include "engines/jet/compact/definition_rewrite.h"

#include <algorithm>

#include "engines/jet/format/page_file.h"

namespace dorvane::jet::compact {

DefinitionRewrite::DefinitionRewrite(const PageFile& source, const TableDef& def)
    : format_(source.format()), def_(def) {
    for (std::uint32_t page : def.pages) pages_.push_back(source.ReadPage(page));
    targets_ = def.pages;
}

void DefinitionRewrite::MoveTo(const std::vector<std::uint32_t>& pages) {
    targets_ = pages;
    for (std::size_t k = 0; k < pages_.size(); ++k)
        PutLe32(pages_[k], kTableDefNextPage, k + 1 < pages.size() ? pages[k + 1] : 0);
}

void DefinitionRewrite::SetLe32(std::size_t stream_offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        const StreamLocation at = LocateInStream(def_, format_, stream_offset + i);
        const auto chain = std::find(def_.pages.begin(), def_.pages.end(), at.page) - def_.pages.begin();
        pages_[static_cast<std::size_t>(chain)].at(at.offset) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void DefinitionRewrite::Write(write::PageSink& sink) const {
    for (std::size_t k = 0; k < pages_.size(); ++k) sink.WritePage(targets_[k], pages_[k]);
}

}  // namespace dorvane::jet::compact
