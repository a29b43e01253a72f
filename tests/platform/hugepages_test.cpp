#include "platform/hugepages.h"

#include <gtest/gtest.h>

#include <cstdint>

using platform::kHugePageSize;
using platform::kMapThreshold;

TEST(HugePages, ZeroedBlocksOnBothSidesOfTheThreshold)
{
    for (const std::size_t n : {std::size_t{1}, kMapThreshold - 1, kMapThreshold, kHugePageSize + 1}) {
        SCOPED_TRACE(n);
        platform::CZeroedArray<std::uint8_t> a(n);
        ASSERT_EQ(a.size(), n);
        std::size_t nonZero = 0;
        for (std::size_t k = 0; k < n; k += 4093)
            nonZero += a[k] != 0;
        EXPECT_EQ(nonZero + a[n - 1], 0u);
        a[n - 1] = 7; // the whole block is writable
        if (n >= kMapThreshold && !platform::LargeBlocksOnHeap()) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.data()) % kHugePageSize, 0u);
        }
        platform::CZeroedArray<std::uint8_t> moved(std::move(a));
        EXPECT_EQ(moved[n - 1], 7);
    }
}

TEST(HugePages, VectorAndChunkedListKeepTheirElements)
{
    platform::large_vector<std::uint32_t> v;
    platform::CChunkedList<std::uint32_t> list;
    const std::uint32_t n = std::uint32_t(kHugePageSize / 2); // past the mapping threshold and several chunks
    for (std::uint32_t k = 0; k < n; ++k) {
        v.push_back(k);
        list.PushBack(k);
    }
    std::uint32_t expected = 0, wrong = 0;
    list.ForEach([&](std::uint32_t x) { wrong += x != expected++; });
    EXPECT_EQ(list.Size(), n);
    EXPECT_EQ(expected, n);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(v[n - 1], n - 1);
}
