#pragma once

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vantrel {

// Sets the process's allocator up for a long-running program that builds
// large buffers now and then (the search index, its scratch, result lists):
// every block of 256 KiB or more is mapped on its own and goes back to the
// system when freed. Without this, glibc raises its mapping threshold after
// the first such block is freed, and later ones are cut from the arenas,
// where freed space stays with the process. Call once, first thing in main.
inline void keepLargeAllocationsMapped() {
#ifdef __GLIBC__
    // Setting the threshold also switches its automatic adjustment off.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

}  // namespace vantrel
