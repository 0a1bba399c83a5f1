#pragma once

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vantrel {

// Sets the process's allocator up for a long-running program whose worker
// threads now and then build large buffers (the search index and its scratch)
// that outlive them: all threads share two arenas. With an arena per thread,
// what a finished worker allocated stays resident in its own arena after it is
// freed, out of reach of malloc_trim and of the threads that allocate next.
// Call once, first thing in main.
inline void shareAllocatorArenas() {
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 2);
#endif
}

}  // namespace vantrel
