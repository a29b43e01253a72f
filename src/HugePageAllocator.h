#pragma once
// Allocator for the large working arrays of a series build. Freshly mapped
// memory costs a page fault per 4 KiB page on first touch; blocks of 2 MiB and
// more are therefore mapped aligned to 2 MiB and marked for huge pages.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace vantix {

inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer watches only heap blocks.
inline constexpr bool kUseHeapOnly = true;
#else
inline constexpr bool kUseHeapOnly = false;
#endif

inline void* AllocateLarge(std::size_t bytes)
{
    const std::size_t size = (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
    void* const raw = ::mmap(nullptr, size + kHugePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (base + kHugePageSize - 1) & ~(kHugePageSize - 1);
    if (aligned > base)
        ::munmap(raw, aligned - base);
    const std::uintptr_t end = base + size + kHugePageSize;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

inline void FreeLarge(void* p, std::size_t bytes) noexcept
{
    const std::size_t size = (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
    ::munmap(p, size);
}

template <class T>
struct CHugePageAllocator {
    using value_type = T;

    CHugePageAllocator() noexcept = default;
    template <class U>
    CHugePageAllocator(const CHugePageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize || kUseHeapOnly)
            return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(AllocateLarge(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize || kUseHeapOnly)
            ::operator delete(p);
        else
            FreeLarge(p, bytes);
    }

    template <class U>
    friend bool operator==(const CHugePageAllocator&, const CHugePageAllocator<U>&) noexcept
    {
        return true;
    }
};

template <class T>
using large_vector = std::vector<T, CHugePageAllocator<T>>;

} // namespace vantix
