#include "HugeArray.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace ors {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this size the heap is cheaper than a mapping of its own.
constexpr std::size_t kMapThreshold = std::size_t(1) << 20;
} // namespace

HugeBlock::HugeBlock(std::size_t bytes) : m_bytes(bytes)
{
    if (bytes == 0)
        return;
    if (bytes < kMapThreshold) {
        m_p = std::malloc(bytes);
        if (!m_p)
            throw std::bad_alloc();
        return;
    }
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < bytes)
        throw std::bad_alloc();
    // Over-map by one huge page and trim, so the block starts on a 2 MiB boundary.
    const std::size_t span = rounded + kHugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (base + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > base)
        munmap(raw, aligned - base);
    const std::uintptr_t end = base + span;
    if (end > aligned + rounded)
        munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
    m_p = reinterpret_cast<void*>(aligned);
    m_mapped = rounded;
    // Advice only: without huge pages the memory still works, just slower to touch.
    madvise(m_p, m_mapped, MADV_HUGEPAGE);
}

HugeBlock::~HugeBlock()
{
    if (!m_p)
        return;
    if (m_mapped)
        munmap(m_p, m_mapped);
    else
        std::free(m_p);
}

} // namespace ors
