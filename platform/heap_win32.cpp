#include "platform/heap.h"

namespace dorvane::platform {

// The process heap is shared by every thread already.
void ShareOneHeap() {}

}  // namespace dorvane::platform
