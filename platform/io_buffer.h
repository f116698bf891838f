#pragma once
// Memory that large reads and writes of files go through. The system copies
// between a file's cached pages and the program's memory, and the copy slows
// down where the two lie 1 to 31 bytes apart within a page: a large heap
// block starts 16 bytes past a page, and reading into one took four times
// the processor time (AMD EPYC, Linux 6; writing from a block 16 bytes short
// of a page likewise). Memory aligned to a cache line never lies such a short
// way from a page's start, and loses less to its alignment than memory
// aligned to a page.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace dorvane::platform {

inline constexpr std::size_t kIoAlignment = 64;

template <typename T>
struct IoAlignedAllocator {
    using value_type = T;
    IoAlignedAllocator() = default;
    template <typename U>
    IoAlignedAllocator(const IoAlignedAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{kIoAlignment}));
    }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete (p, std::align_val_t{kIoAlignment}); }

    template <typename U>
    bool operator==(const IoAlignedAllocator<U>&) const noexcept {
        return true;
    }
};

using IoBuffer = std::vector<std::uint8_t, IoAlignedAllocator<std::uint8_t>>;

}  // namespace dorvane::platform
