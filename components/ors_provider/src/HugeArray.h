#pragma once
// Large value arrays. Fresh anonymous memory costs a page fault per 4 KiB page
// on first touch, which dominates loading a multi-million-record file; arrays
// of a few megabytes and more are therefore mapped 2 MiB aligned with
// transparent huge pages requested.
#include <cstddef>
#include <new>
#include <utility>

namespace ors {

class HugeBlock {
public:
    HugeBlock() noexcept = default;
    // Uninitialised storage for bytes bytes; throws std::bad_alloc.
    explicit HugeBlock(std::size_t bytes);
    ~HugeBlock();
    HugeBlock(HugeBlock&& o) noexcept
        : m_p(std::exchange(o.m_p, nullptr)), m_bytes(std::exchange(o.m_bytes, 0)),
          m_mapped(std::exchange(o.m_mapped, 0))
    {
    }
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
        std::swap(m_mapped, o.m_mapped);
    }

private:
    void* m_p = nullptr;
    std::size_t m_bytes = 0;
    std::size_t m_mapped = 0; // 0: heap allocation
};

// A fixed-size array of trivially copyable T on a HugeBlock; elements start
// uninitialised.
template <class T>
class HugeArray {
public:
    HugeArray() noexcept = default;
    explicit HugeArray(std::size_t n) : m_block(n * sizeof(T)), m_n(n) {}

    T* data() noexcept { return static_cast<T*>(m_block.data()); }
    const T* data() const noexcept { return static_cast<const T*>(m_block.data()); }
    std::size_t size() const noexcept { return m_n; }
    // Keeps the first n elements (the storage stays).
    void truncate(std::size_t n) noexcept { m_n = n < m_n ? n : m_n; }
    T& operator[](std::size_t i) noexcept { return data()[i]; }
    const T& operator[](std::size_t i) const noexcept { return data()[i]; }

private:
    HugeBlock m_block;
    std::size_t m_n = 0;
};

} // namespace ors
