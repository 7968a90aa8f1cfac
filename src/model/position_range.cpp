#include "model/position_range.h"

#include <algorithm>
#include <cmath>

#include "base/messages.h"

// The largest number at most `limit` with a short decimal form: two
// significant digits, the second one 0 or 5 when the first is 5 or more
// (819 gives 800, 1499 gives 1400, 0.0734 gives 0.07).
static double short_floor(double limit)
{
    if (!(limit > 0) || !std::isfinite(limit))
        return 0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(limit)));
    const double step = (limit / magnitude >= 5.0 ? 5.0 : 1.0) * magnitude / 10.0;
    double value = std::floor(limit / step) * step;
    // log10 and the division may land a hair above the limit.
    if (value > limit)
        value -= step;
    return value;
}

double fitting_scale(const PositionSpan& span, float scale)
{
    // Every position shrinks in proportion to the scale; rounding and
    // truncation both keep a value below 32767 (or above -32768) in range.
    double limit = INFINITY;
    if (span.largest > 0)
        limit = std::fmin(limit, position_max / span.largest);
    if (span.smallest < 0)
        limit = std::fmin(limit, position_min / span.smallest);
    if (!std::isfinite(limit))
        return 0;
    // A negative scale mirrors the model; the suggestion keeps its sign.
    const double fitting = short_floor(limit * std::fabs(static_cast<double>(scale)));
    return scale < 0 ? -fitting : fitting;
}

// A coordinate as the user wrote it: three significant digits, at least one
// decimal (40.0, 0.0300, 1234.5).
static std::string file_units_text(double value)
{
    const double magnitude = std::fabs(value);
    int decimals = 1;
    if (magnitude > 0 && magnitude < 10)
        decimals = std::max(1, 2 - static_cast<int>(std::floor(std::log10(magnitude))));
    return format_text("%.*f", decimals, value);
}

// A suggested scale as the command line takes it: whole numbers without an
// exponent, fractions with the digits they have.
static std::string scale_text(double scale)
{
    return std::fabs(scale) >= 1 ? format_text("%.0f", scale) : format_text("%g", scale);
}

void position_out_of_range(const std::string& what, double file_value, double stored, float scale,
                           const std::string& relation, const PositionSpan& span)
{
    fatal_error("%s lies at %s units%s, %.0f after scaling by %g; positions must fit -32768..32767. "
                "Try -s %s or smaller.",
                what.c_str(), file_units_text(file_value).c_str(), relation.c_str(), stored,
                static_cast<double>(scale), scale_text(fitting_scale(span, scale)).c_str());
}
