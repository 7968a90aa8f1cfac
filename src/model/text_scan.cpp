#include "model/text_scan.h"

#include <charconv>
#include <cstdio>
#include <string>

static bool is_digit(char c)
{
    return is_scan_digit(c);
}

bool scan_int_in_full(const char*& p, int& value)
{
    p = skip_scan_space(p);

    // Common form: an optional sign and up to nine digits, which cannot
    // overflow an int.
    const char* q = p;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+')
        ++q;
    const char* digits = q;
    int magnitude = 0;
    while (is_digit(*q) && q - digits < 9) {
        magnitude = magnitude * 10 + (*q - '0');
        ++q;
    }
    if (q == digits)
        return false;
    if (!is_digit(*q)) {
        value = negative ? -magnitude : magnitude;
        p = q;
        return true;
    }

    // Ten digits or more: the C library decides what an overflow gives. It
    // takes every digit, so only the number itself is handed over; scanning
    // the rest of a long face line for each corner would be quadratic.
    while (is_digit(*q))
        ++q;
    const std::string number(p, q);
    if (std::sscanf(number.c_str(), "%d", &value) != 1)
        return false;
    p = q;
    return true;
}

// Finds the end of a plain decimal number (optional '-', digits with an
// optional point, optional complete exponent) at `p`, or null when the text
// takes a form that only the C library should judge: a leading '+', a lone
// point, an exponent without digits, a hexadecimal number, "inf" or "nan".
static const char* plain_number_end(const char* p)
{
    const char* q = p;
    if (*q == '-')
        ++q;
    const char* mantissa = q;
    while (is_digit(*q))
        ++q;
    long digit_count = q - mantissa;
    if (*q == '.') {
        ++q;
        const char* fraction = q;
        while (is_digit(*q))
            ++q;
        digit_count += q - fraction;
    }
    if (digit_count == 0)
        return nullptr;
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (!is_digit(*e))
            return nullptr;
        while (is_digit(*e))
            ++e;
        q = e;
    }
    if (*q == 'x' || *q == 'X')
        return nullptr;
    return q;
}

static int c_library_scan(const char* p, float& value, int& consumed)
{
    return std::sscanf(p, "%f%n", &value, &consumed);
}

static int c_library_scan(const char* p, double& value, int& consumed)
{
    return std::sscanf(p, "%lf%n", &value, &consumed);
}

template <typename T>
static bool scan_real(const char*& p, T& value)
{
    p = skip_scan_space(p);
    if (const char* end = plain_number_end(p)) {
        // from_chars rounds exactly as the C library does; values beyond the
        // type's range are left to the library, which gives inf or a denormal.
        const std::from_chars_result r = std::from_chars(p, end, value);
        if (r.ec == std::errc() && r.ptr == end) {
            p = end;
            return true;
        }
    }
    int n = 0;
    if (c_library_scan(p, value, n) != 1)
        return false;
    p += n;
    return true;
}

bool scan_float_in_full(const char*& p, float& value)
{
    return scan_real(p, value);
}

bool scan_double_in_full(const char*& p, double& value)
{
    return scan_real(p, value);
}
