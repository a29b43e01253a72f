#pragma once
// Decimal numbers of text tables. The fast path reads the common short forms
// ("-1.25", "3e-05", "0.1234567891") exactly: up to 19 digits give an integer
// mantissa, and when it is at most 2^53 and the power of ten at most 22 one
// correctly rounded multiplication or division gives the nearest double.
// Everything else goes to std::from_chars.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ors::import {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline bool isDigit(char c)
{
    return unsigned(c) - '0' < 10u;
}

// Eight digits at p as one number, or false when any of them is not a digit.
// Long fractions ("0.07558450635") are the bulk of a results table; taking
// them eight at a time roughly halves the per-character work.
[[gnu::always_inline]] inline bool ParseEightDigits(const char* p, std::uint64_t& value)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if ((((v & 0xF0F0F0F0F0F0F0F0u) | (((v + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4))) !=
        0x3333333333333333u)
        return false;
    // Little-endian: the first character is the lowest byte.
    v -= 0x3030303030303030u;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    value = v;
    return true;
}

[[gnu::always_inline]] inline const char* ParseDigits(const char* p, const char* end, std::uint64_t& mantissa,
                                                      int& digits)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t eight;
        while (end - p >= 8 && ParseEightDigits(p, eight)) {
            mantissa = mantissa * 100000000u + eight;
            digits += 8;
            p += 8;
            // More than 19 digits is refused anyway; stop before the mantissa wraps twice.
            if (digits > 19)
                return p;
        }
    }
    while (p != end && isDigit(*p)) {
        mantissa = mantissa * 10 + unsigned(*p - '0');
        ++digits;
        ++p;
    }
    return p;
}

// Parses a number at p; returns the end of it, or nullptr when the fast path
// does not apply (then nothing is claimed about the text).
[[gnu::always_inline]] inline const char* ParseDecimalFast(const char* p, const char* end, double& out)
{
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    p = ParseDigits(p, end, mantissa, digits);
    if (p != end && *p == '.') {
        ++p;
        const char* fraction = p;
        p = ParseDigits(p, end, mantissa, digits);
        exponent = -int(p - fraction);
    }
    if (digits == 0 || digits > 19)
        return nullptr;
    if (p != end && (*p | 0x20) == 'e') {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '-' || *p == '+')) {
            negativeExponent = *p == '-';
            ++p;
        }
        if (p == end || !isDigit(*p))
            return nullptr;
        int e = 0;
        while (p != end && isDigit(*p)) {
            if (e < 100000)
                e = e * 10 + (*p - '0');
            ++p;
        }
        exponent += negativeExponent ? -e : e;
    }
    if (mantissa > (std::uint64_t(1) << 53))
        return nullptr;
    double v = double(mantissa);
    if (exponent < 0) {
        if (exponent < -22)
            return nullptr;
        v /= kPow10[-exponent];
    } else if (exponent > 0) {
        if (exponent > 22)
            return nullptr;
        v *= kPow10[exponent];
    }
    out = negative ? -v : v;
    return p;
}

enum class NumberStatus { Ok, Empty, NotNumber, NotFinite };

// A whole cell (blanks around it allowed) as a number.
inline NumberStatus ParseNumberCell(std::string_view cell, double& out)
{
    std::size_t b = 0, e = cell.size();
    while (b < e && (cell[b] == ' ' || cell[b] == '\t'))
        ++b;
    while (e > b && (cell[e - 1] == ' ' || cell[e - 1] == '\t'))
        --e;
    if (b == e)
        return NumberStatus::Empty;
    // No number needs more; a longer cell is text.
    if (e - b > 400)
        return NumberStatus::NotNumber;
    const char* first = cell.data() + b;
    const char* last = cell.data() + e;
    if (const char* q = ParseDecimalFast(first, last, out); q == last)
        return NumberStatus::Ok;
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
        // "+-1" and the like
        if (first == last || *first == '+' || *first == '-')
            return NumberStatus::NotNumber;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ptr != last)
        return NumberStatus::NotNumber;
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is not finite.
        const std::string_view text(first, std::size_t(last - first));
        const auto at = text.find_first_of("eE");
        if (at == std::string_view::npos || at + 1 >= text.size() || text[at + 1] != '-')
            return NumberStatus::NotFinite;
        v = 0;
    } else if (ec != std::errc()) {
        return NumberStatus::NotNumber;
    }
    if (!std::isfinite(v))
        return NumberStatus::NotFinite;
    out = negative ? -v : v;
    return NumberStatus::Ok;
}

} // namespace ors::import
