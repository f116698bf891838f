#include <limits>

#include "platform/file_view.h"
#include "platform/system_error.h"
#include "platform/windows_api.h"

namespace dorvane::platform {

FileView FileView::Map(const std::filesystem::path& path) {
    const File file = File::Open(path, Access::kRead);
    const std::uint64_t size = file.Size();
    if (size == 0) return {};
    if (size > std::numeric_limits<std::size_t>::max())
        throw PathError(errc::kIoError, path, "read", "the file is too large to map");
    // The view keeps the mapping object, and it the file, alive after both
    // handles are closed.
    HANDLE mapping = ::CreateFileMappingW(file.handle_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) throw SystemError(LastOsError(), path, "read");
    void* at = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    const OsError failure = at == nullptr ? LastOsError() : 0;
    ::CloseHandle(mapping);
    if (at == nullptr) throw SystemError(failure, path, "read");
    return FileView(static_cast<const std::uint8_t*>(at), static_cast<std::size_t>(size));
}

void FileView::Unmap() noexcept {
    if (data_ != nullptr) ::UnmapViewOfFile(data_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace dorvane::platform
