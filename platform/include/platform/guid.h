#pragma once
// 16-byte identifiers of interfaces and component classes.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace platform {

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) noexcept
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
    friend constexpr bool operator<(const GUID& a, const GUID& b) noexcept
    {
        if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
        if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
        if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
        return false;
    }
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Registry format: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, 38 characters.
std::wstring StringFromGUID(const GUID& g);
std::string StringFromGUIDA(const GUID& g);
// Accepts the braced or bare form, any letter case; nullopt on anything else.
std::optional<GUID> GUIDFromString(std::wstring_view text);
std::optional<GUID> GUIDFromStringA(std::string_view text);

// The identifier an interface declares with VANTIX_INTERFACE_ID.
template <class T>
constexpr const IID& uuidof() noexcept { return T::kIID; }

} // namespace platform

#define VANTIX_INTERFACE_ID(d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
    static constexpr ::platform::IID kIID{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}}
