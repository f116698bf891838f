#include "platform/heap.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace dorvane::platform {

void ShareOneHeap() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);  // a hint: on failure the heaps stay as they were
#endif
}

}  // namespace dorvane::platform
