#include "platform/hugepages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

bool Mapped(std::size_t bytes)
{
    return bytes >= kMapThreshold && !LargeBlocksOnHeap();
}

std::size_t Rounded(std::size_t bytes)
{
    return (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

void* Map(std::size_t bytes)
{
    const std::size_t size = Rounded(bytes);
    if (size < bytes)
        throw std::bad_alloc();
    // Over-map by one huge page and trim, so the block starts on a 2 MiB boundary.
    const std::size_t span = size + kHugePageSize;
    void* const raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (base + kHugePageSize - 1) & ~(kHugePageSize - 1);
    if (aligned > base)
        ::munmap(raw, aligned - base);
    const std::uintptr_t end = base + span;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    // Advice only: without huge pages the memory still works, just slower to touch.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

} // namespace

bool LargeBlocksOnHeap()
{
    static const bool bHeap = [] {
        const char* value = std::getenv("VANTIX_LARGE_BLOCKS");
        return kSanitized || (value && std::string_view(value) == "heap");
    }();
    return bHeap;
}

void* AllocateBlock(std::size_t bytes, bool zeroed)
{
    if (bytes == 0)
        return nullptr;
    if (Mapped(bytes))
        return Map(bytes);
    void* const p = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void FreeBlock(void* p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    if (Mapped(bytes))
        ::munmap(p, Rounded(bytes));
    else
        std::free(p);
}

} // namespace platform
