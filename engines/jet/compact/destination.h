#pragma once
// The file a compaction writes. Created exclusively (an existing file of the
// name, such as a leftover temporary file, is refused and left alone); removed
// again unless Commit() was reached, so a failure leaves nothing behind.

#include <cstdint>
#include <filesystem>

#include "engines/jet/compact/page_sink.h"

namespace dorvane::jet::compact {

class DestinationFile : public PageSink {
public:
    // Throws kFileAlreadyExists, kPathNotFound, kPermissionDenied, kDiskFull
    // or kIoError, each naming the path.
    DestinationFile(std::filesystem::path path, std::size_t page_size);
    ~DestinationFile() override;
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;

    void WritePage(std::uint32_t page, ByteSpan bytes) override;
    void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) override;
    // Sets the final length (pages never written read as zeros) and flushes
    // everything to stable storage.
    void Finish(std::uint32_t page_count);
    // Keeps the file. Before this, destruction removes it.
    void Commit();
    // Closes and removes the file now.
    void Discard() noexcept;

    const std::filesystem::path& path() const { return path_; }

private:
    void WriteAt(std::uint64_t offset, ByteSpan bytes);
    // error: errno, or GetLastError() on Windows.
    [[noreturn]] void Fail(unsigned long error, const char* doing);

    void CloseFile() noexcept;
    bool open() const;

    std::filesystem::path path_;
    std::size_t page_size_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool committed_ = false;
};

}  // namespace dorvane::jet::compact
