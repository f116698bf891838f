#pragma once
// How the C library's heap serves the program.

namespace dorvane::platform {

// Sets the heap up for the engine's long runs; call at the start of main,
// before any thread starts. Where the C library has nothing to set, nothing.
//
// - One heap for all threads instead of one per thread: the engine's threads
//   (a copy, the checks beside it, a salvage made ahead) each free what they
//   used, and memory one thread's heap kept was not reused by another's.
// - Large blocks (a page census, a table's page lists, a sorter's runs: they
//   grow with the file) each in a mapping of their own, given back when
//   freed. Left to itself, glibc raises its threshold for that to the size of
//   the largest such block freed, and later ones then fragment the shared heap:
//   3 MiB of a damaged 1.9 GiB file's repair peak, at no measured cost in time.
void SetUpHeap();

}  // namespace dorvane::platform
