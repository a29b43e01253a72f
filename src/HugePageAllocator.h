#pragma once
// Storage for the large working arrays of a series build. Freshly mapped
// memory costs a page fault per 4 KiB page on first touch; blocks of 2 MiB and
// more are therefore mapped aligned to 2 MiB and marked for huge pages.
#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vantix {

inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer watches only heap blocks.
inline constexpr bool kUseHeapOnly = true;
#else
inline constexpr bool kUseHeapOnly = false;
#endif

// A process that sets VANTIX_LARGE_BLOCKS=heap before its first large block
// (vantix-render) has prepared its heap with huge pages and never trims it:
// there a block freed by one stage is handed, already touched, to the next,
// which costs less than mapping fresh memory for each.
inline bool UseHeapOnly()
{
    static const bool bHeap = [] {
        const char* value = std::getenv("VANTIX_LARGE_BLOCKS");
        return kUseHeapOnly || (value && std::string_view(value) == "heap");
    }();
    return bHeap;
}

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
        if (bytes < kHugePageSize || UseHeapOnly())
            return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(AllocateLarge(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize || UseHeapOnly())
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

// A fixed-size array whose elements start as all-zero bytes, without a pass
// over them: fresh mappings (and calloc) come zeroed already.
template <class T>
class CZeroedArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    CZeroedArray() noexcept = default;
    explicit CZeroedArray(std::size_t n) : m_nSize(n)
    {
        if (n == 0)
            return;
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        m_bMapped = bytes >= kHugePageSize && !UseHeapOnly();
        m_pData = static_cast<T*>(m_bMapped ? AllocateLarge(bytes) : std::calloc(n, sizeof(T)));
        if (!m_pData)
            throw std::bad_alloc();
    }
    CZeroedArray(CZeroedArray&& other) noexcept
        : m_pData(std::exchange(other.m_pData, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)),
          m_bMapped(other.m_bMapped)
    {
    }
    CZeroedArray& operator=(CZeroedArray&& other) noexcept
    {
        CZeroedArray(std::move(other)).Swap(*this);
        return *this;
    }
    CZeroedArray(const CZeroedArray&) = delete;
    CZeroedArray& operator=(const CZeroedArray&) = delete;
    ~CZeroedArray()
    {
        if (!m_pData)
            return;
        if (m_bMapped)
            FreeLarge(m_pData, m_nSize * sizeof(T));
        else
            std::free(m_pData);
    }

    void Swap(CZeroedArray& other) noexcept
    {
        std::swap(m_pData, other.m_pData);
        std::swap(m_nSize, other.m_nSize);
        std::swap(m_bMapped, other.m_bMapped);
    }
    T* data() noexcept { return m_pData; }
    const T* data() const noexcept { return m_pData; }
    std::size_t size() const noexcept { return m_nSize; }
    T& operator[](std::size_t k) noexcept { return m_pData[k]; }
    const T& operator[](std::size_t k) const noexcept { return m_pData[k]; }

private:
    T* m_pData = nullptr;
    std::size_t m_nSize = 0;
    bool m_bMapped = false;
};

// An append-only list in chunks: growing never moves or copies what is stored.
template <class T>
class CChunkedList {
public:
    void PushBack(const T& value)
    {
        if (m_nUsed == m_nChunkSize)
            AddChunk();
        m_pChunk[m_nUsed++] = value;
    }
    std::size_t Size() const noexcept { return m_nStored + m_nUsed; }
    bool Empty() const noexcept { return Size() == 0; }
    template <class F>
    void ForEach(F&& f) const
    {
        for (std::size_t c = 0; c < m_Chunks.size(); ++c) {
            const CZeroedArray<T>& chunk = m_Chunks[c];
            const std::size_t n = c + 1 == m_Chunks.size() ? m_nUsed : chunk.size();
            for (std::size_t k = 0; k < n; ++k)
                f(chunk[k]);
        }
    }

private:
    // Chunks double up to one huge page each.
    static constexpr std::size_t kFirstChunk = 4096;
    static constexpr std::size_t kLargestChunk = kHugePageSize / sizeof(T) > kFirstChunk ? kHugePageSize / sizeof(T)
                                                                                          : kFirstChunk;

    void AddChunk()
    {
        const std::size_t size = m_Chunks.empty() ? kFirstChunk : std::min(2 * m_nChunkSize, kLargestChunk);
        m_Chunks.emplace_back(size);
        m_nStored += m_nUsed;
        m_pChunk = m_Chunks.back().data();
        m_nChunkSize = size;
        m_nUsed = 0;
    }

    std::vector<CZeroedArray<T>> m_Chunks;
    T* m_pChunk = nullptr;
    std::size_t m_nChunkSize = 0;
    std::size_t m_nUsed = 0;
    std::size_t m_nStored = 0;
};

} // namespace vantix
