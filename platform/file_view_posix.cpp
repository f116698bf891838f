#include <sys/mman.h>

#include <limits>

#include "platform/file_view.h"
#include "platform/system_error.h"

namespace dorvane::platform {

FileView FileView::Map(const std::filesystem::path& path) {
    const File file = File::Open(path, Access::kRead);
    const std::uint64_t size = file.Size();
    if (size == 0) return {};
    if (size > std::numeric_limits<std::size_t>::max())
        throw PathError(errc::kIoError, path, "read", "the file is too large to map");
    // Populated up front: the pages are read in one sweep rather than one
    // fault at a time. The mapping outlives the descriptor.
    void* at = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.handle_, 0);
    if (at == MAP_FAILED) throw SystemError(LastOsError(), path, "read");
    return FileView(static_cast<const std::uint8_t*>(at), static_cast<std::size_t>(size));
}

void FileView::Unmap() noexcept {
    if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace dorvane::platform
