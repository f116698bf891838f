#pragma once
// Asks for the cache line holding `at` without waiting for it.

namespace dorvane::jet {

inline void PrefetchLine(const void* at) {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    // Written out: GCC 12 drops a __builtin_prefetch whose address is loaded
    // behind a branch, which is where every caller's address comes from.
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(at)));
#elif defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
}

}  // namespace dorvane::jet
