#include "platform/heap.h"

namespace dorvane::platform {

// The process heap is shared by every thread already, and hands large blocks
// back to the system by itself.
void SetUpHeap() {}

}  // namespace dorvane::platform
