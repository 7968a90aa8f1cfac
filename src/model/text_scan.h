#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Number scanning with exactly the results of the C library's "%d", "%f" and
// "%lf" conversions, one conversion at a time, so a reader can follow a
// scanf format directive by directive without paying for scanf on every
// number. Each scanner starts at `p`, skips white space as scanf does, and on
// success stores the value and moves `p` past the characters that scanf would
// consume. On failure `p` and the value are left unspecified: a failed
// conversion ends the format, as it does in scanf. The text must end with a
// NUL, which no conversion crosses.

// The white space that scanf skips in the C locale.
inline bool is_scan_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline const char* skip_scan_space(const char* p)
{
    while (is_scan_space(*p))
        ++p;
    return p;
}

// A literal character of a format: consumes it when it is next.
inline bool scan_literal(const char*& p, char c)
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

//
// The common forms are read inline, straight from the text: an int of at
// most nine digits, and a decimal without exponent whose digits and
// fraction are few enough that one correctly rounded division gives the
// exact result (both operands are exact in the type). Every other form goes
// to the full scanners below, which take it to the C library when needed.

inline bool is_scan_digit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// The decimal digits at `p`, at most eight of them: how many there are (8
// when there may be more) and, in `value`, what they read as. eight_digits
// reads the eight bytes at `p` at once, so all eight must be readable;
// few_digits reads byte by byte and stops at the first byte that is not a
// digit.
inline size_t few_digits(const char* p, uint32_t& value)
{
    size_t count = 0;
    value = 0;
    while (count < 8 && is_scan_digit(p[count]))
        value = value * 10 + static_cast<uint32_t>(p[count++] - '0');
    return count;
}

inline size_t eight_digits(const char* p, uint32_t& value)
{
    if constexpr (std::endian::native != std::endian::little)
        return few_digits(p, value);
    uint64_t word;
    std::memcpy(&word, p, 8);
    // A digit byte is 0x30 to 0x39: high nibble 3, and still 3 after adding 6.
    // (A carry out of a byte beyond 0xF9 only reaches bytes after it, which
    // come after a byte that is no digit and do not count.)
    constexpr uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0ull;
    constexpr uint64_t threes = 0x3030303030303030ull;
    const uint64_t not_digit =
        ((word & high_nibbles) ^ threes) | (((word + 0x0606060606060606ull) & high_nibbles) ^ threes);
    const size_t count = not_digit == 0 ? 8 : static_cast<size_t>(std::countr_zero(not_digit)) / 8;
    if (count == 0) {
        value = 0;
        return 0;
    }
    // The digits, first one lowest, moved up so that zero bytes lead; then
    // pairs, quads and the eight are joined in three steps.
    uint64_t digits = (word & 0x0F0F0F0F0F0F0F0Full) << (8 * (8 - count));
    digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFull;
    digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFFull;
    digits = (digits * 10000 + (digits >> 32)) & 0xFFFFFFFFull;
    value = static_cast<uint32_t>(digits);
    return count;
}

// The full scanners, for any form.
bool scan_int_in_full(const char*& p, int& value);
bool scan_float_in_full(const char*& p, float& value);
bool scan_double_in_full(const char*& p, double& value);

// "%d"
inline bool scan_int(const char*& p, int& value)
{
    const char* q = skip_scan_space(p);
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+')
        ++q;
    const char* const digits = q;
    uint32_t magnitude = 0;  // wraps harmlessly past nine digits, which go to the full scanner
    while (is_scan_digit(*q))
        magnitude = magnitude * 10 + static_cast<uint32_t>(*q++ - '0');
    if (q == digits)
        return false;
    if (q - digits > 9)
        return scan_int_in_full(p, value);
    const int whole = static_cast<int>(magnitude);
    value = negative ? -whole : whole;
    p = q;
    return true;
}

// A decimal written "-?digits[.digits]" with no exponent after it, as its
// digits read as a whole number and the count of them after the point.
struct ShortDecimal {
    uint64_t digits = 0;
    uint32_t fraction_digits = 0;
    bool negative = false;
    const char* end = nullptr;
};

// False for any other form, or one of more than 19 digits.
inline bool read_short_decimal(const char* p, ShortDecimal& d)
{
    const char* q = p;
    d.negative = *q == '-';
    if (d.negative)
        ++q;
    const char* const first = q;
    uint64_t digits = 0;
    while (is_scan_digit(*q))
        digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
    size_t count = static_cast<size_t>(q - first);
    if (*q == '.') {
        const char* const fraction = ++q;
        while (is_scan_digit(*q))
            digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
        d.fraction_digits = static_cast<uint32_t>(q - fraction);
        count += d.fraction_digits;
    } else {
        d.fraction_digits = 0;
    }
    if (count == 0 || count > 19 || *q == 'e' || *q == 'E' || *q == 'x' || *q == 'X')
        return false;
    d.digits = digits;
    d.end = q;
    return true;
}

// Powers of ten that float and double hold exactly.
inline constexpr float exact_float_tens[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
inline constexpr double exact_double_tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// "%f"
inline bool scan_float(const char*& p, float& value)
{
    p = skip_scan_space(p);
    ShortDecimal d;
    if (read_short_decimal(p, d) && d.digits <= (uint64_t{1} << 24) && d.fraction_digits <= 10) {
        const float magnitude = static_cast<float>(d.digits) / exact_float_tens[d.fraction_digits];
        value = d.negative ? -magnitude : magnitude;
        p = d.end;
        return true;
    }
    return scan_float_in_full(p, value);
}

// "%lf"
inline bool scan_double(const char*& p, double& value)
{
    p = skip_scan_space(p);
    ShortDecimal d;
    if (read_short_decimal(p, d) && d.digits <= (uint64_t{1} << 53) && d.fraction_digits <= 22) {
        const double magnitude = static_cast<double>(d.digits) / exact_double_tens[d.fraction_digits];
        value = d.negative ? -magnitude : magnitude;
        p = d.end;
        return true;
    }
    return scan_double_in_full(p, value);
}
