#pragma once
// Decimal numbers of text tables. The fast path reads the common short forms
// ("-1.25", "3e-05", "0.1234567891") exactly: up to 19 digits give an integer
// mantissa, and when it is at most 2^53 and the power of ten at most 22 one
// correctly rounded multiplication or division gives the nearest double.
// Everything else goes to std::from_chars.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace ors::import {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline bool isDigit(char c)
{
    return unsigned(c) - '0' < 10u;
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
    while (p != end && isDigit(*p)) {
        mantissa = mantissa * 10 + unsigned(*p - '0');
        ++digits;
        ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        const char* fraction = p;
        while (p != end && isDigit(*p)) {
            mantissa = mantissa * 10 + unsigned(*p - '0');
            ++digits;
            ++p;
        }
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
