#pragma once
// How the C library's heap serves the program's threads.

namespace dorvane::platform {

// One heap for all threads instead of one per thread. The engine's threads
// (a copy, the checks beside it, a salvage made ahead) each free what they
// used, and memory one thread's heap kept was not reused by another's: a few
// MiB of the peak at 1.9 GiB, at no measured cost in time. Call at the start
// of main, before any thread starts. Where the heap is already shared, nothing.
void ShareOneHeap();

}  // namespace dorvane::platform
