#pragma once

// Takes the pages of a buffer that is about to be written all at once, in
// one call, rather than one fault at a time as they are first touched. A
// sheet of millions of cells fills hundreds of megabytes, and on a virtual
// machine each of those faults costs several microseconds: more than the
// work done in the page. Only for buffers that will be filled: the pages
// are taken whether they are written or not. Where the system cannot do
// it, the pages are simply taken as before.

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

namespace Excel {

// Buffers smaller than this are left to fault as usual.
constexpr size_t PrefaultMinimum = size_t(64) << 10;

inline void prefault(void *data, size_t size)
{
#ifdef MADV_POPULATE_WRITE
    if (size < PrefaultMinimum)
        return;
    constexpr uintptr_t Page = 4096;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + Page - 1) & ~(Page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(Page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace Excel
