// vantix-render: batch rendering of a results file into a PNG (BatchRender.h).
#include "BatchRender.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

// A batch run allocates its picture buffers and working arrays once and
// exits. Fresh memory costs a page fault per 4 KiB page on first touch, which
// here costs more than the work done on it (about 10 us a page, 2.5 ms a
// megabyte); so the heap grows in one step into a region that asks for huge
// pages, every thread allocates from it, and freed memory stays for reuse.
// Blocks beyond 32 MiB are still mapped by malloc (the data provider maps its
// large arrays with huge pages itself).
void PrepareHeap()
{
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    constexpr int kReserve = 512 << 20; // address space; only touched pages count
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, kReserve);
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Used, so that the compiler keeps the allocation that grows the heap.
    char* volatile probe = static_cast<char*>(std::malloc(1 << 20));
    if (probe)
        probe[0] = 1;
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(probe);
    mallopt(M_TOP_PAD, 16 << 20);
    const std::uintptr_t start = (before + kHuge - 1) & ~(kHuge - 1);
    if (after > start + kHuge)
        madvise(reinterpret_cast<void*>(start), (after - start) & ~(kHuge - 1), MADV_HUGEPAGE);
    // The working arrays of the chart code come from this heap too, so the
    // picture buffers reuse what the choice of the slice freed.
    setenv("VANTIX_LARGE_BLOCKS", "heap", 1);
}

} // namespace

int main(int argc, char** argv)
{
    // VANTIX_RENDER_PLAIN_HEAP=1 keeps the C library's defaults (for comparison).
    const char* plain = std::getenv("VANTIX_RENDER_PLAIN_HEAP");
    if (!plain || !*plain || *plain == '0')
        PrepareHeap();
    return batch::Run(argc, argv, true);
}
