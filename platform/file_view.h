#pragma once
// A whole file mapped read-only into memory, unmapped when it goes. Only for
// a file that nobody may shorten while it is mapped (a database held
// exclusively, a file this program has just written): reading a mapped page
// past a shortened end is a fault, not an error.

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/file.h"

namespace dorvane::platform {

class FileView {
public:
    // Throws as File::Open does. An empty file maps to no bytes.
    static FileView Map(const std::filesystem::path& path);

    FileView() = default;
    ~FileView();
    FileView(FileView&& other) noexcept;
    FileView& operator=(FileView&& other) noexcept;
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

private:
    FileView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    void Unmap() noexcept;

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace dorvane::platform
