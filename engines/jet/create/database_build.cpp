#include "platform/native_path.h"
#include "engines/jet/create/database_build.h"

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"
#include "platform/file.h"

namespace dorvane::jet::create {

namespace {

std::set<std::uint32_t> PagesInUse(const PageFile& source, const std::set<std::uint32_t>& released) {
    const UsageMap free = ReadGlobalFreeMap(source);
    const std::set<std::uint32_t> freePages(free.pages.begin(), free.pages.end());
    std::set<std::uint32_t> used;
    for (std::uint32_t page = 0; page < source.page_count(); ++page) {
        if (!freePages.contains(page) && !released.contains(page)) used.insert(page);
    }
    used.insert({0, kGlobalMapPage});
    return used;
}

}  // namespace

DatabaseBuild::DatabaseBuild(Bytes header) : format_(FormatFor(Version::kJet4)) {
    pages_[0] = std::move(header);
    allocator_.emplace(std::set<std::uint32_t>{0, kGlobalMapPage});
}

DatabaseBuild::DatabaseBuild(const PageFile& source, const std::set<std::uint32_t>& released)
    : format_(source.format()), source_(&source) {
    if (source.encryption_key() != 0) {
        throw Error(errc::kNotAvailable, ErrorText("cannot change ").Path(PathText(source.path()))
                                             << ": the file is encrypted");
    }
    allocator_.emplace(PagesInUse(source, released));
}

void DatabaseBuild::WritePage(std::uint32_t page, ByteSpan bytes) { pages_[page].assign(bytes.begin(), bytes.end()); }

void DatabaseBuild::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    auto it = pages_.find(page);
    if (it == pages_.end()) {
        if (source_ == nullptr || page >= source_->page_count()) ThrowCorrupt("a patch of a page never written");
        Bytes stored;
        source_->ReadRawPage(page, stored);
        it = pages_.emplace(page, std::move(stored)).first;
    }
    PutBytes(it->second, offset, bytes);
}

void DatabaseBuild::Commit(const std::filesystem::path& target, ExclusiveHold* hold,
                           const std::function<void()>& close_source) {
    write::WriteGlobalMap(format_, *allocator_, *this);
    const std::uint32_t count = allocator_->page_count();
    if (hold != nullptr) hold->Release();
    platform::Replacement replacement(target, 0666);
    platform::File& out = replacement.file();
    out.SetLength(std::uint64_t{count} * format_.page_size);
    Bytes stored;
    for (std::uint32_t page = 0; page < count; ++page) {
        const auto it = pages_.find(page);
        if (it != pages_.end()) {
            out.WriteAt(std::uint64_t{page} * format_.page_size, it->second);
        } else if (source_ != nullptr && page < source_->page_count()) {
            source_->ReadRawPage(page, stored);
            out.WriteAt(std::uint64_t{page} * format_.page_size, stored);
        }
    }
    out.Flush();
    if (close_source) {
        source_ = nullptr;
        close_source();
    }
    {
        const CheckReport report = CheckDatabase(PageFile::Open(platform::StagingPathFor(target)));
        if (!report.ok()) {
            throw Error(errc::kInternal, ErrorText("the new version of ").Path(PathText(target))
                                             << " did not pass the check and was not kept: "
                                             << report.problems.front());
        }
    }
    replacement.Commit();
}

}  // namespace dorvane::jet::create
