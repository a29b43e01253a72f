#include "platform/guid.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Guid, RoundTripsThroughRegistryText)
{
    constexpr GUID g{0x12AB34CD, 0x0F01, 0xA0B0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(StringFromGUID(g), L"{12AB34CD-0F01-A0B0-0123-456789ABCDEF}");
    EXPECT_EQ(GUIDFromString(L"{12ab34cd-0f01-a0b0-0123-456789abcdef}"), g);
    EXPECT_EQ(GUIDFromStringA("12AB34CD-0F01-A0B0-0123-456789ABCDEF"), g);
    for (const wchar_t* bad : {L"", L"{}", L"{12AB34CD-0F01-A0B0-0123-456789ABCDE}", L"{12AB34CD+0F01-A0B0-0123-456789ABCDEF}",
                               L"{12AB34CD-0F01-A0B0-0123-456789ABCDEG}", L"12AB34CD-0F01-A0B0-0123-456789ABCDEF}"})
        EXPECT_FALSE(GUIDFromString(bad)) << "accepted " << std::string(bad, bad + wcslen(bad));
}
