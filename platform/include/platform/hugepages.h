#pragma once
// Storage for large working arrays (loaded columns, series builds). Freshly
// mapped memory costs a page fault per 4 KiB page on first touch, which
// dominates loading a multi-million-record file; large blocks are therefore
// mapped aligned to 2 MiB and marked for transparent huge pages.
#include <algorithm>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

// Blocks of half a huge page and more are mapped: rounded up to whole huge
// pages they take at most twice their size, and one fault then replaces 256
// or more. Below that the heap is cheaper than a mapping of its own.
inline constexpr std::size_t kMapThreshold = kHugePageSize / 2;

// True when every block comes from the heap: under the address sanitizer
// (it watches only heap blocks), and in a process that set
// VANTIX_LARGE_BLOCKS=heap before its first large block (vantix-render has
// prepared its heap with huge pages and never trims it: a block freed by one
// stage is handed, already touched, to the next, which costs less than
// mapping fresh memory for each).
bool LargeBlocksOnHeap();

// bytes of storage, all-zero when zeroed (fresh mappings are zero already);
// nullptr for 0 bytes. Throws std::bad_alloc.
void* AllocateBlock(std::size_t bytes, bool zeroed = false);
// Frees what AllocateBlock(bytes) returned.
void FreeBlock(void* p, std::size_t bytes) noexcept;

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
        return static_cast<T*>(AllocateBlock(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeBlock(p, n * sizeof(T)); }

    template <class U>
    friend bool operator==(const CHugePageAllocator&, const CHugePageAllocator<U>&) noexcept
    {
        return true;
    }
};

template <class T>
using large_vector = std::vector<T, CHugePageAllocator<T>>;

// An owned block from AllocateBlock.
class HugeBlock {
public:
    HugeBlock() noexcept = default;
    explicit HugeBlock(std::size_t bytes, bool zeroed = false) : m_p(AllocateBlock(bytes, zeroed)), m_bytes(bytes) {}
    ~HugeBlock() { FreeBlock(m_p, m_bytes); }
    HugeBlock(HugeBlock&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)), m_bytes(std::exchange(o.m_bytes, 0)) {}
    HugeBlock& operator=(HugeBlock&& o) noexcept
    {
        HugeBlock(std::move(o)).swap(*this);
        return *this;
    }
    HugeBlock(const HugeBlock&) = delete;
    HugeBlock& operator=(const HugeBlock&) = delete;

    void* data() const noexcept { return m_p; }
    std::size_t bytes() const noexcept { return m_bytes; }
    void swap(HugeBlock& o) noexcept
    {
        std::swap(m_p, o.m_p);
        std::swap(m_bytes, o.m_bytes);
    }

private:
    void* m_p = nullptr;
    std::size_t m_bytes = 0;
};

// A fixed-size array of trivially copyable T; elements start uninitialised,
// or as all-zero bytes (without a pass over them) when zeroed.
template <class T>
class HugeArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    HugeArray() noexcept = default;
    explicit HugeArray(std::size_t n, bool zeroed = false) : m_block(Bytes(n), zeroed), m_n(n) {}

    T* data() noexcept { return static_cast<T*>(m_block.data()); }
    const T* data() const noexcept { return static_cast<const T*>(m_block.data()); }
    std::size_t size() const noexcept { return m_n; }
    // Keeps the first n elements (the storage stays).
    void truncate(std::size_t n) noexcept { m_n = std::min(n, m_n); }
    T& operator[](std::size_t i) noexcept { return data()[i]; }
    const T& operator[](std::size_t i) const noexcept { return data()[i]; }

private:
    static std::size_t Bytes(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return n * sizeof(T);
    }

    HugeBlock m_block;
    std::size_t m_n = 0;
};

// A HugeArray whose elements start as all-zero bytes.
template <class T>
class CZeroedArray : public HugeArray<T> {
public:
    CZeroedArray() noexcept = default;
    explicit CZeroedArray(std::size_t n) : HugeArray<T>(n, true) {}
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

} // namespace platform
