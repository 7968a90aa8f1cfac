#pragma once

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

bool scan_int(const char*& p, int& value);        // "%d"
bool scan_float(const char*& p, float& value);    // "%f"
bool scan_double(const char*& p, double& value);  // "%lf"
