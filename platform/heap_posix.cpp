#include "platform/heap.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace dorvane::platform {

void SetUpHeap() {
#if defined(__GLIBC__)
    // Hints: on failure the heap stays as it was.
    mallopt(M_ARENA_MAX, 1);
    // glibc's own starting value; setting it at all keeps it from moving.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace dorvane::platform
