#include "model/animation_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/context.h"
#include "base/messages.h"
#include "model/model.h"
#include "model/position_range.h"
#include "model/prepare_text.h"
#include "model/text_scan.h"

// Radians to degrees, with the constant written out as the file's exporter
// expects it.
static constexpr double pi = 3.141592653589793;

// Frames beyond this many are beyond the 16-bit frame count.
static constexpr int max_frames = 65535;

namespace {

struct AnimationReader {
    Model& model;
    const std::string& shown;  // for messages
    float scale;
    size_t bones;  // bone count of skeleton 0: every frame holds one rotation per bone
    const char* text;
    std::vector<size_t> line_ends;  // offsets of the line breaks, to name lines by number

    int animation_index = -1;  // the animation being filled
    uint32_t frame = 0;        // the frame being filled within it
    size_t bone_in_frame = 0;  // the bone the next rotation line fills
};

}  // namespace

// The 1-based number of the line that starts at `line` in the original file.
static size_t line_number(const AnimationReader& r, const char* line)
{
    const size_t offset = static_cast<size_t>(line - r.text);
    return static_cast<size_t>(std::lower_bound(r.line_ends.begin(), r.line_ends.end(), offset) -
                               r.line_ends.begin()) +
           1;
}

// Where the lines of the raw text end: at LF, and at a CR that no LF follows.
// The clean-up keeps every byte in place, so these offsets stay valid.
static std::vector<size_t> find_line_ends(const std::string& text)
{
    std::vector<size_t> ends;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ends.push_back(i);
    return ends;
}

[[noreturn]] static void parse_error(const char* line)
{
    fatal_error("Error parsing line: '%s'", line);
}

static Animation& current(AnimationReader& r)
{
    return r.model.animations[static_cast<size_t>(r.animation_index)];
}

static size_t rotations_expected(const AnimationReader& r, const Animation& animation)
{
    return size_t{animation.frame_count} * r.bones;
}

// A frame whose rotation lines are missing would reach the game as the rest
// pose, so an animation must hold all of them before the next one starts.
static void check_complete(const AnimationReader& r, const Animation& animation)
{
    const size_t expected = rotations_expected(r, animation);
    if (animation.rotations.size() != expected)
        fatal_error("Animation '%s' in '%s' has %zu of its %zu rotation lines (%u frames of %zu bones)",
                    animation.name.c_str(), r.shown.c_str(), animation.rotations.size(), expected,
                    unsigned{animation.frame_count}, r.bones);
}

// Translation and rotation lines fill the animation of the last "frames" line.
static Animation& animation_of(AnimationReader& r, const char* line, const char* what)
{
    if (r.animation_index < 0)
        fatal_error("The %s line %zu of '%s' comes before any frames line: '%s'", what, line_number(r, line),
                    r.shown.c_str(), line);
    return current(r);
}

// "total %d": a fresh table of that many animations, replacing the one
// before. The count is the limit for the "frames" lines that follow.
static void read_total(AnimationReader& r, const char* line, const char* match)
{
    const char* p = match + 5;
    int count = 0;
    if (!scan_int(p, count))
        parse_error(line);
    if (count < 0 || static_cast<size_t>(count) > max_animations)
        fatal_error("Line %zu of '%s' announces %d animations; between 0 and %zu can be read: '%s'",
                    line_number(r, line), r.shown.c_str(), count, max_animations, line);
    // The animation being filled keeps its place in the fresh table, so the
    // table must still hold it.
    if (r.animation_index >= count)
        fatal_error("Line %zu of '%s' announces %d animations after animation %d was started: '%s'",
                    line_number(r, line), r.shown.c_str(), count, r.animation_index + 1, line);
    r.model.animations.assign(static_cast<size_t>(count), Animation());
}

// "frames %d \"%[^\"]": the next animation, its frame count and its name.
static void read_frames(AnimationReader& r, const char* line, const char* match)
{
    std::vector<Animation>& animations = r.model.animations;
    if (r.animation_index >= 0)
        check_complete(r, current(r));
    if (static_cast<size_t>(r.animation_index + 1) >= animations.size())
        fatal_error("The frames line %zu of '%s' starts animation %d, but the total line announces %zu: '%s'",
                    line_number(r, line), r.shown.c_str(), r.animation_index + 2, animations.size(), line);

    const char* p = match + 6;
    int frames = 0;
    if (!scan_int(p, frames))
        parse_error(line);
    if (frames < 1 || frames > max_frames)
        fatal_error("The frames line %zu of '%s' gives %d frames; an animation has 1 to %d: '%s'",
                    line_number(r, line), r.shown.c_str(), frames, max_frames, line);

    ++r.animation_index;
    Animation& animation = current(r);
    animation.frame_count = static_cast<uint16_t>(frames);
    // The name runs from the opening quote to the closing one, or to the
    // end of the line; without a quote, or with nothing inside, it stays empty.
    p = skip_scan_space(p);
    if (*p == '"') {
        ++p;
        animation.name.assign(p, std::strcspn(p, "\""));
    }
    // A frame without a translation line keeps the root where it is.
    animation.translations.assign(static_cast<size_t>(frames), {0, 0, 0});
    // Rotations arrive one line at a time; their room is not taken on the
    // file's word alone.
    animation.rotations.clear();
    r.frame = 0;
}

// "l %f %f %f": the root translation of the frame being filled, scaled and
// truncated toward zero. The frame does not advance.
static void read_translation(AnimationReader& r, const char* line, const char* match)
{
    Animation& animation = animation_of(r, line, "translation");
    if (r.frame >= animation.frame_count)
        fatal_error("The translation line %zu of '%s' is for frame %u, but animation '%s' has %u frames: '%s'",
                    line_number(r, line), r.shown.c_str(), r.frame + 1, animation.name.c_str(),
                    unsigned{animation.frame_count}, line);

    const char* p = match + 1;
    std::array<int16_t, 3>& translation = animation.translations[r.frame];
    for (int16_t& axis : translation) {
        float value = 0;
        if (!scan_float(p, value) || !std::isfinite(value))
            parse_error(line);
        const float scaled = value * r.scale;
        // Truncation keeps everything above -32769 and below 32768.
        const double stored = std::trunc(static_cast<double>(scaled));
        if (!position_fits(stored)) {
            PositionSpan span;
            span.add(stored);
            position_out_of_range(format_text("Translation at line %zu of '%s'", line_number(r, line), r.shown.c_str()),
                                  static_cast<double>(value), stored, r.scale, "", span);
        }
        axis = static_cast<int16_t>(scaled);
    }
}

// An angle in radians as degrees in [0, 360). Negative angles are raised by
// whole turns and the rest is taken modulo a turn. The fmod first brings a
// negative angle to within one turn of zero: repeated adding of 360 reaches
// exactly the same value, as every one of those additions is exact for
// angles down to -2^56 degrees, and it would never get there for the hugest
// angles, where adding 360 changes nothing.
static double degrees_in_turn(double radians)
{
    double degrees = radians * 180.0 / pi;
    if (degrees < 0.0)
        degrees = std::fmod(degrees, 360.0);
    while (degrees < 0.0)
        degrees += 360.0;
    return std::fmod(degrees, 360.0);
}

// "r %lf %lf %lf": the rotation of the next bone in the frame being filled.
// The last bone of a frame moves on to the next frame.
static void read_rotation(AnimationReader& r, const char* line, const char* match)
{
    Animation& animation = animation_of(r, line, "rotation");
    if (animation.rotations.size() >= rotations_expected(r, animation))
        fatal_error("The rotation line %zu of '%s' goes beyond the %u frames of %zu bones of animation '%s': '%s'",
                    line_number(r, line), r.shown.c_str(), unsigned{animation.frame_count}, r.bones,
                    animation.name.c_str(), line);

    const char* p = match + 1;
    std::array<float, 3> rotation{};
    for (float& axis : rotation) {
        double radians = 0;
        if (!scan_double(p, radians) || !std::isfinite(radians))
            parse_error(line);
        const double degrees = degrees_in_turn(radians);
        if (!std::isfinite(degrees))
            parse_error(line);
        axis = static_cast<float>(degrees);
    }
    animation.rotations.push_back(rotation);

    if (++r.bone_in_frame == r.bones) {
        ++r.frame;
        r.bone_in_frame = 0;
    }
}

// One line: the first of the tests that matches anywhere in it decides.
static void read_line(AnimationReader& r, const char* line)
{
    if (const char* match = std::strstr(line, "total"))
        read_total(r, line, match);
    else if (const char* match = std::strstr(line, "frames"))
        read_frames(r, line, match);
    else if (const char* match = std::strstr(line, "l "))
        read_translation(r, line, match);
    else if (const char* match = std::strstr(line, "r "))
        read_rotation(r, line, match);
}

void read_animations(Context& ctx, Model& model, const std::string& path, const std::string& shown_path)
{
    const std::string& shown = shown_path.empty() ? path : shown_path;
    if (model.skeletons.empty())
        fatal_error("The animation file '%s' is read before any skeleton; its frames need the skeleton's bones",
                    shown.c_str());

    model.animations.clear();
    std::string text = read_text_file(path, shown);
    AnimationReader r{model, shown, ctx.settings.scale, model.skeletons[0].bones.size(), nullptr,
                      find_line_ends(text)};
    prepare_text(text, false);
    r.text = text.c_str();
    for_each_line(text, [&r](const char* line, size_t) { read_line(r, line); });

    if (r.animation_index >= 0)
        check_complete(r, current(r));
    // Records the total announced but no "frames" line filled hold nothing
    // to play; a file without any "frames" line leaves no animations at all.
    std::erase_if(model.animations, [](const Animation& animation) { return animation.frame_count == 0; });
}
