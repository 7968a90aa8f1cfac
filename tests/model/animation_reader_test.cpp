// The animation reader on small files, with skeleton 0 made by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "base/context.h"
#include "model/animation_reader.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

using Rotation = std::array<float, 3>;
using Translation = std::array<int16_t, 3>;

// Reads animation text from a file in a fresh folder into a model whose
// skeleton 0 has `bones` bones.
struct Reading {
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    Model model;

    explicit Reading(size_t bones = 2)
    {
        model.skeletons.emplace_back();
        model.skeletons[0].bones.resize(bones);
    }
    std::vector<Animation>& read(const std::string& text, const std::string& name = "a.anim")
    {
        write_file(dir / name, text);
        read_animations(ctx, model, (dir / name).string(), name);
        return model.animations;
    }
    std::string error(const std::string& text)
    {
        return fatal_text([&] { read(text); });
    }
};

// The design's two-bone example: one translation line, then one rotation
// line per bone, for each frame.
const std::string wave = "total 1\n"
                         "frames 2 \"wave\"\n"
                         "l 0 0.1 0\nr 0 0 0\nr 1.5707963 0 -1.5707963\n"
                         "l 0 0.2 0\nr 0 0 0\nr 3.1415927 0 0\n";

TEST(AnimationReader, TwoBoneWave)
{
    Reading r;
    const std::vector<Animation>& a = r.read(wave);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "wave");
    EXPECT_EQ(a[0].frame_count, 2);
    // 0.1 and 0.2 as floats times 1024 are 102.4 and 204.8, truncated.
    EXPECT_EQ(a[0].translations, (std::vector<Translation>{{0, 102, 0}, {0, 204, 0}}));
    // 1.5707963 rad is 89.9999985 degrees and -1.5707963 rad 270.0000015;
    // both, and 180.0000027, round to whole floats.
    EXPECT_EQ(a[0].rotations, (std::vector<Rotation>{{0, 0, 0}, {90, 0, 270}, {0, 0, 0}, {180, 0, 0}}));
}

// An angle as the design's loop turns it into degrees, step by step.
float reference_degrees(double radians)
{
    double degrees = radians * 180.0 / 3.141592653589793;
    while (degrees < 0)
        degrees += 360.0;
    return static_cast<float>(std::fmod(degrees, 360.0));
}

TEST(AnimationReader, AnglesAreTurnedIntoOneTurn)
{
    Reading r(1);
    const std::vector<Animation>& a = r.read("total 1\nframes 3 \"spin\"\n"
                                             "r -0.5 7 -6.283185307179586\n"
                                             "r -1e-20 -123456.789 -0.0\n"
                                             "r 12.566370614359172 -1e300 1e300\n");
    ASSERT_EQ(a.size(), 1u);
    const std::vector<Rotation>& rot = a[0].rotations;
    // -0.5 rad is -28.6478898 degrees, raised to 331.3521102; 7 rad is
    // 401.0704566 degrees, 41.0704566 modulo a turn.
    EXPECT_EQ(rot[0][0], 331.35211181640625f);
    EXPECT_EQ(rot[0][1], 41.070457458496094f);
    // Every angle that the loop of adding 360 can finish gives its result bit
    // for bit, one of almost twenty thousand turns and one just below 0 too.
    const double angles[] = {-0.5, 7, -6.283185307179586, -1e-20, -123456.789, -0.0, 12.566370614359172, -1e300,
                             1e300};
    for (size_t i = 0; i < std::size(angles); ++i) {
        if (angles[i] == -1e300)
            continue;
        EXPECT_EQ(rot[i / 3][i % 3], reference_degrees(angles[i])) << angles[i];
    }
    EXPECT_EQ(rot[1][0], 0.0f);  // -1e-20 degrees + 360 rounds to a whole turn
    // An angle so negative that adding 360 changes nothing still ends in [0, 360).
    EXPECT_GE(rot[2][1], 0.0f);
    EXPECT_LT(rot[2][1], 360.0f);
}

TEST(AnimationReader, WhatTheTestsOfALineMatch)
{
    // "total" anywhere makes a total line...
    Reading r(1);
    std::vector<Animation>& a = r.read("grand total 2\nframes 1 \"a\"\nr 0 0 0\nframes 1 \"b\"\nr 0 0 0\n");
    EXPECT_EQ(a.size(), 2u);
    // ... even one meant as a frames line, which then does not parse.
    EXPECT_EQ(r.error("total 1\nframes 1 \"totals\"\nr 0 0 0\n"), "Error parsing line: 'frames 1 \"totals\"'");
    // A frames line whose name holds "l " and "r " is still a frames line; the
    // name runs to the closing quote.
    a = r.read("total 1\nframes 1 \"tall or short\" trailing\nl 0 0 0.5\nr 0 0 0\n");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "tall or short");
    EXPECT_EQ(a[0].translations, (std::vector<Translation>{{0, 0, 512}}));
    // Lines with none of the four are ignored; a translation line may stand
    // after its frame's rotations, and a later one replaces it.
    a = r.read("total 1\nframes 2 \"x\"\nskip me\nr 0 0 0\nl 1 0 0\nl 2 0 0\nr 0 0 0\n");
    EXPECT_EQ(a[0].translations, (std::vector<Translation>{{0, 0, 0}, {2048, 0, 0}}));
}

TEST(AnimationReader, WhatTheFileDoesNotFillIsDroppedOrZero)
{
    Reading r(1);
    // A total without frames lines leaves no animations.
    r.model.animations.resize(1);
    EXPECT_TRUE(r.read("total 3\n").empty());
    // Records the total announces but no frames line fills are dropped.
    std::vector<Animation>& a = r.read("total 3\nframes 1 \"only\"\nr 0 0 0\n");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "only");
    // A frame without a translation line keeps the root at zero; a name
    // without quotes is empty.
    a = r.read("total 1\nframes 2\nr 0 0 0\nl 0 1 0\nr 0 0 0\n");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "");
    EXPECT_EQ(a[0].translations, (std::vector<Translation>{{0, 0, 0}, {0, 1024, 0}}));
}

TEST(AnimationReader, ALaterFileReplacesTheAnimationsReadBefore)
{
    Reading r(2);
    EXPECT_EQ(r.read("total 2\nframes 1 \"a\"\nr 0 0 0\nr 0 0 0\nframes 1 \"b\"\nr 0 0 0\nr 0 0 0\n", "first.anim")
                  .size(),
              2u);
    const std::vector<Animation>& a = r.read(wave);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "wave");
    // A file without a total line cannot fill the animations of the one before.
    EXPECT_EQ(r.error("frames 1 \"late\"\nr 0 0 0\nr 0 0 0\n"),
              "The frames line 1 of 'a.anim' starts animation 1, but the total line announces 0: 'frames 1 \"late\"'");
}

TEST(AnimationReader, CountsOfTheFileAreLimits)
{
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"total 1\nframes 1 \"a\"\nr 0 0 0\nr 0 0 0\nframes 1 \"b\"\n",
         "The frames line 5 of 'a.anim' starts animation 2, but the total line announces 1: 'frames 1 \"b\"'"},
        {"total 1\r\nframes 1 \"a\"\r\nr 0 0 0\r\nr 0 0 0\r\nr 1 0 0\r\n",
         "The rotation line 5 of 'a.anim' goes beyond the 1 frames of 2 bones of animation 'a': 'r 1 0 0'"},
        {"total 1\nframes 1 \"a\"\nl 0 0 0\nr 0 0 0\nr 0 0 0\nl 1 0 0\n",
         "The translation line 6 of 'a.anim' is for frame 2, but animation 'a' has 1 frames: 'l 1 0 0'"},
        {"total 1\nl 0 0 0\n", "The translation line 2 of 'a.anim' comes before any frames line: 'l 0 0 0'"},
        {"total 1\n\n# rotations\nr 0 0 0\n",
         "The rotation line 4 of 'a.anim' comes before any frames line: 'r 0 0 0'"},
        {"total -1\n", "Line 1 of 'a.anim' announces -1 animations; between 0 and 65535 can be read: 'total -1'"},
        // A second total keeps the started animation's place, which the fresh table must hold;
        // a table large enough gives the started animation a fresh record.
        {"total 1\nframes 1 \"a\"\nr 0 0 0\ntotal 0\nr 0 0 0\n",
         "Line 4 of 'a.anim' announces 0 animations after animation 1 was started: 'total 0'"},
        {"total 2\nframes 1 \"a\"\nr 0 0 0\nr 0 0 0\nframes 1 \"b\"\ntotal 1\n",
         "Line 6 of 'a.anim' announces 1 animations after animation 2 was started: 'total 1'"},
        {"total 1\nframes 1 \"a\"\ntotal 1\nr 0 0 0\n",
         "The rotation line 4 of 'a.anim' goes beyond the 0 frames of 2 bones of animation '': 'r 0 0 0'"},
        {"total 1\nframes 0 \"still\"\n",
         "The frames line 2 of 'a.anim' gives 0 frames; an animation has 1 to 65535: 'frames 0 \"still\"'"},
        {"total 1\nframes 65536 \"long\"\n",
         "The frames line 2 of 'a.anim' gives 65536 frames; an animation has 1 to 65535: 'frames 65536 \"long\"'"},
        // Rotation lines that stop before frames x bones, at the next frames line and at the end.
        {"total 2\nframes 2 \"short\"\nr 0 0 0\nr 0 0 0\nr 0 0 0\nframes 1 \"b\"\n",
         "Animation 'short' in 'a.anim' has 3 of its 4 rotation lines (2 frames of 2 bones)"},
        {"total 1\nframes 1 \"half\"\nl 0 0 0\nr 0 0 0\n",
         "Animation 'half' in 'a.anim' has 1 of its 2 rotation lines (1 frames of 2 bones)"},
    };
    for (const Case& c : cases) {
        Reading r(2);
        EXPECT_EQ(r.error(c.text), c.message) << c.text;
    }
}

TEST(AnimationReader, NumbersThatAreNotNumbersOrTooLarge)
{
    const std::array<std::string, 2> cases[] = {
        {"r nan 0 0", "Error parsing line: 'r nan 0 0'"},
        {"r 0 inf 0", "Error parsing line: 'r 0 inf 0'"},
        {"r 0 0 1e308", "Error parsing line: 'r 0 0 1e308'"},  // finite, but not in degrees
        {"r 0 0", "Error parsing line: 'r 0 0'"},
        {"l 0 -inf 0", "Error parsing line: 'l 0 -inf 0'"},
        {"l 0 0 x", "Error parsing line: 'l 0 0 x'"},
        {"l 0 0 40000", "Translation at line 3 of 'a.anim' lies at 40000.0 units, 40960000 after scaling by 1024; "
                        "positions must fit -32768..32767. Try -s 0.8 or smaller."},
        // 32 units at scale 1024 is 32768, one beyond; -32 units is -32768, which fits.
        {"l 32 -32 0", "Translation at line 3 of 'a.anim' lies at 32.0 units, 32768 after scaling by 1024; positions "
                       "must fit -32768..32767. Try -s 1000 or smaller."},
        {"l 0 -32.001 0", "Translation at line 3 of 'a.anim' lies at -32.0 units, -32769 after scaling by 1024; "
                          "positions must fit -32768..32767. Try -s 1000 or smaller."},
    };
    for (const auto& [line, message] : cases) {
        Reading r(1);
        EXPECT_EQ(r.error("total 1\nframes 1 \"a\"\n" + line + "\n"), message) << line;
    }
    Reading r(1);
    EXPECT_EQ(r.read("total 1\nframes 1 \"a\"\nl 31.999 -32 -32.0009\nr 0 0 0\n")[0].translations,
              (std::vector<Translation>{{32766, -32768, -32768}}));
}

TEST(AnimationReader, TheSkeletonMustComeFirst)
{
    Reading r(0);
    r.model.skeletons.clear();
    EXPECT_EQ(r.error(wave),
              "The animation file 'a.anim' is read before any skeleton; its frames need the skeleton's bones");

    // In a geometry file, the message names the two lines' files.
    const std::string geometry = (r.dir / "m.objex").string();
    const auto geometry_error = [&](const std::string& objex) {
        write_file(geometry, objex);
        return fatal_text([&] { read_objex(r.ctx, geometry, r.model); });
    };
    EXPECT_EQ(geometry_error("v 0 0 0\nanimations walk.anim\nskeleton rig.skel\n"),
              "The animation file 'walk.anim' is named before the skeleton file 'rig.skel' in '" + geometry +
                  "'; the skeleton line must come first, as its bones size every frame");
    EXPECT_EQ(geometry_error("animations walk.anim\nv 0 0 0\n"),
              "The animation file 'walk.anim' is named in '" + geometry +
                  "', but no skeleton file was read before it; its frames need the skeleton's bones");
}

}  // namespace
