#pragma once
// A database written as a whole new version: a new file, or a new version of
// an existing file in which the pages in use stay where they are and only
// what is rewritten or added takes pages (free ones first, then new ones at
// the end). Nothing reaches the target until the version is complete and
// the checker finds it sound; then it replaces the target in one step.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/page_sink.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/lock.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::create {

class DatabaseBuild : public write::PageSink {
public:
    // A new Jet 4 file: page 0 is `header`, nothing else is in use.
    explicit DatabaseBuild(Bytes header);
    // A new version of `source`: every page its free-page map shows in use
    // stays, except `released`, which the new version may reuse.
    DatabaseBuild(const PageFile& source, const std::set<std::uint32_t>& released);

    const Format& format() const { return format_; }
    write::PageAllocator& allocator() { return *allocator_; }

    void WritePage(std::uint32_t page, ByteSpan bytes) override;
    void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) override;

    // Writes page 1, then the whole file under a staging name beside
    // `target`, checks it, and puts it in place of `target` (created when
    // missing). A failed check throws kInternal and leaves `target` as it was.
    // `hold`, the caller's claim on `target`, passes to the replacement, which
    // claims the target itself. `close_source` runs once every page is
    // written, before the replacement: Windows replaces no file still open.
    void Commit(const std::filesystem::path& target, ExclusiveHold* hold = nullptr,
                const std::function<void()>& close_source = {});

private:
    const Format& format_;
    const PageFile* source_ = nullptr;
    std::map<std::uint32_t, Bytes> pages_;
    std::optional<write::PageAllocator> allocator_;
};

}  // namespace dorvane::jet::create
