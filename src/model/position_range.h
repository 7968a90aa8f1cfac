#pragma once

#include <string>

// Positions reach the object as signed 16-bit fields: vertex records,
// collision vertices, bone offsets and animation translations. A position
// that does not fit would wrap or clamp into garbage, so every stage that
// narrows one checks it here and stops with a message that says by how much
// the scale must shrink.

inline constexpr double position_min = -32768.0;
inline constexpr double position_max = 32767.0;

// Whether a whole number of model units (already rounded or truncated the
// way its stage stores it) fits the 16-bit fields.
inline bool position_fits(double whole_units)
{
    return whole_units >= position_min && whole_units <= position_max;
}

// The extremes of a set of positions in model units (after scaling), so the
// message can suggest a scale at which every one of them fits.
struct PositionSpan {
    double largest = 0;   // the largest value at or above zero
    double smallest = 0;  // the smallest value at or below zero

    void add(double units)
    {
        if (units > largest)
            largest = units;
        if (units < smallest)
            smallest = units;
    }
};

// The largest short scale (two significant digits, the second rounded down
// to 0 or 5 from 5 up) at which every position of `span`, measured at
// `scale`, would fit, with the sign of `scale`. 0 when the span is empty.
double fitting_scale(const PositionSpan& span, float scale);

// Stops the conversion for a position that does not fit:
//   "<what> lies at <file_value> units<relation>, <stored> after scaling by
//    <scale>; positions must fit -32768..32767. Try -s <n> or smaller."
// `what` names the position and where it comes from ("Vertex at line 12 of
// 'ship.obj'", "Bone 'hip' of 'body.skel'"); `file_value` is the coordinate
// as written (or the stored value divided by the scale), `stored` the whole
// number the stage would store; `relation` says what the value is measured
// from when it is not the origin (" from the group's POS point"), or is
// empty. `span` holds every position of the same kind in the model, `stored`
// included, and gives the suggested scale.
[[noreturn]] void position_out_of_range(const std::string& what, double file_value, double stored, float scale,
                                        const std::string& relation, const PositionSpan& span);
