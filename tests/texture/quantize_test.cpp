#include <gtest/gtest.h>

#include <set>

#include "texture/quantize.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
    auto operator<=>(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << '(' << int(c.r) << ',' << int(c.g) << ',' << int(c.b) << ')';
}

// A run of `count` texels of one colour, alpha 255.
struct ColourRun {
    Rgb colour;
    int count;
};

std::vector<uint8_t> texels_of(const std::vector<ColourRun>& runs)
{
    std::vector<uint8_t> texels;
    for (const ColourRun& run : runs)
        for (int i = 0; i < run.count; ++i)
            texels.insert(texels.end(), {run.colour.r, run.colour.g, run.colour.b, 255});
    return texels;
}

Rgb colour_at(const std::vector<uint8_t>& texels, size_t index)
{
    return {texels[4 * index], texels[4 * index + 1], texels[4 * index + 2]};
}

std::set<Rgb> distinct_colours(const std::vector<uint8_t>& texels)
{
    std::set<Rgb> colours;
    for (size_t i = 0; i < texels.size() / 4; ++i)
        colours.insert(colour_at(texels, i));
    return colours;
}

// Quantises a single row of texels.
void quantize_row(std::vector<uint8_t>& texels, int colours)
{
    quantize_colours(texels.data(), static_cast<int32_t>(texels.size() / 4), 1, colours);
}

// Texels that vary in every channel, alpha included.
std::vector<uint8_t> varied_texels(size_t count)
{
    std::vector<uint8_t> texels(count * 4);
    uint32_t state = 12345;
    for (uint8_t& byte : texels) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return texels;
}

TEST(Quantize, FewColoursAreKeptExactly)
{
    // Sixteen colours with even channels, each its own leaf: nothing is folded.
    std::vector<ColourRun> runs;
    for (int k = 0; k < 16; ++k)
        runs.push_back({{static_cast<uint8_t>(16 * k), static_cast<uint8_t>(254 - 8 * k), static_cast<uint8_t>(4 * k)}, 1 + k % 3});
    const std::vector<uint8_t> original = texels_of(runs);
    std::vector<uint8_t> texels = original;

    quantize_row(texels, 16);

    EXPECT_EQ(texels, original);
}

TEST(Quantize, TexelsDifferingInTheLowestBitShareTheirAverage)
{
    std::vector<uint8_t> texels = texels_of({
        {{10, 20, 30}, 1},
        {{11, 21, 31}, 1},
        {{11, 20, 30}, 1},
        {{200, 100, 50}, 1},
        {{201, 100, 50}, 1},
        {{12, 20, 30}, 1},  // 12 differs from 10 above the lowest bit: a leaf of its own
    });

    quantize_row(texels, 16);

    // (10+11+11)/3 = 10.67 -> 11; (20+21+20)/3 = 20.33 -> 20; (30+31+30)/3 = 30.33 -> 30.
    EXPECT_EQ(colour_at(texels, 0), (Rgb{11, 20, 30}));
    EXPECT_EQ(colour_at(texels, 1), (Rgb{11, 20, 30}));
    EXPECT_EQ(colour_at(texels, 2), (Rgb{11, 20, 30}));
    // (200+201)/2 = 200.5, rounded half up.
    EXPECT_EQ(colour_at(texels, 3), (Rgb{201, 100, 50}));
    EXPECT_EQ(colour_at(texels, 4), (Rgb{201, 100, 50}));
    EXPECT_EQ(colour_at(texels, 5), (Rgb{12, 20, 30}));
}

TEST(Quantize, GreyRampStaysGrey)
{
    std::vector<uint8_t> texels;
    for (int v = 0; v < 256; ++v)
        texels.insert(texels.end(), {uint8_t(v), uint8_t(v), uint8_t(v), 255});

    quantize_colours(texels.data(), 16, 16, 16);

    const std::set<Rgb> colours = distinct_colours(texels);
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GE(colours.size(), 2u);
    for (const Rgb& c : colours) {
        EXPECT_EQ(c.r, c.g) << c;
        EXPECT_EQ(c.g, c.b) << c;
    }
}

TEST(Quantize, AlphaIsUntouchedAndColoursAreBounded)
{
    for (int wanted : {16, 255, 256}) {
        const std::vector<uint8_t> original = varied_texels(64 * 64);
        std::vector<uint8_t> texels = original;

        quantize_colours(texels.data(), 64, 64, wanted);

        for (size_t i = 3; i < texels.size(); i += 4)
            ASSERT_EQ(texels[i], original[i]) << "alpha of texel " << i / 4 << ", " << wanted << " colours";
        EXPECT_LE(distinct_colours(texels).size(), static_cast<size_t>(wanted));
        EXPECT_NE(texels, original);
    }
}

// Seventeen leaves of equal weight in heap order (childless, under 128
// texels), inserted in order L1..L17, with L1 holding (0,0,0) and (1,1,1). The
// leaves not named in a case are (16k, 128, 0), each in a branch of its own.
// After insertion the heap holds L1..L17 at 1..17. Worked by hand:
//  - Take L1; L17 moves to 1 and stays, since neither child comes strictly
//    before it. L1 folds into its parent, which goes to the end of the heap.
//  - Take L17. If that parent was appended, it moves to 1 and sinks along the
//    left children (2, 4, 8, 16) because childless nodes come first and the
//    left child wins ties; L2 rises to 1.
std::vector<uint8_t> seventeen_leaves(const std::vector<std::pair<int, Rgb>>& named)
{
    std::vector<ColourRun> runs;
    for (int k = 1; k <= 17; ++k) {
        Rgb colour{static_cast<uint8_t>(16 * (k - 1)), 0x80, 0};
        for (const auto& [leaf, c] : named)
            if (leaf == k)
                colour = c;
        runs.push_back({colour, 1});
        if (k == 1)
            runs.push_back({{1, 1, 1}, 1});
    }
    return texels_of(runs);
}

std::vector<Rgb> colours_of(const std::vector<uint8_t>& texels)
{
    std::vector<Rgb> colours;
    for (size_t i = 0; i < texels.size() / 4; ++i)
        colours.push_back(colour_at(texels, i));
    return colours;
}

TEST(Quantize, EqualNodesStayWhereTheSiftLeavesThem)
{
    // L1, L2 and L17 share one parent. Taking L1 puts the parent in the heap;
    // taking L17 (not L2) folds into it and leaves sixteen nodes. The parent
    // holds (0,0,0), (1,1,1), (2,0,0): (3/3, 1/3, 1/3) + 0.5 -> (1,0,0).
    std::vector<uint8_t> texels = seventeen_leaves({{1, {0, 0, 0}}, {2, {0, 0, 2}}, {17, {2, 0, 0}}});
    std::vector<Rgb> expected = colours_of(texels);
    expected[0] = expected[1] = expected[17] = {1, 0, 0};

    quantize_row(texels, 16);

    EXPECT_EQ(colours_of(texels), expected);
}

TEST(Quantize, EqualChildrenResolveToTheLeft)
{
    // L1 with L2 and L3 with L17 are sibling pairs. L1's parent sinks left, so
    // L2 (not L3) rises to 1; L17's fold appends its parent. Taking L2 then
    // completes L1's parent: (0,0,0), (1,1,1), (0,0,2) -> (0,0,1).
    std::vector<uint8_t> texels =
        seventeen_leaves({{1, {0, 0, 0}}, {2, {0, 0, 2}}, {3, {0x20, 0, 0}}, {17, {0x20, 0, 2}}});
    std::vector<Rgb> expected = colours_of(texels);
    expected[0] = expected[1] = expected[2] = {0, 0, 1};

    quantize_row(texels, 16);

    EXPECT_EQ(colours_of(texels), expected);
}

// Eighteen leaves reduced to sixteen, worked by hand. Keys are
// (children, count >> depth):
//   A (0,0,0) x100 and B (0,0,2) x100 are siblings under P6, which sits beside
//   E6 (holding E (0,0,4) x1) under P5; C (128,0,0) x300 and D (128,0,2) x1
//   are siblings under C6; thirteen heavy leaves of 512 texels (key 4).
//  - A, B, D, E (key 0) and then E6 (count 1 at depth 6, key 0) are folded
//    first, in whatever order; only B's or A's second fold lowers the count, to
//    17. P6 is then childless with 200 texels at depth 6: key 3. C6 and P5
//    keep one child each.
//  - C (300 >> 7 = 2) comes before P6 (200 >> 6 = 3), although it holds more
//    texels: it folds into C6, leaving sixteen.
//  - A, B -> P6 = (0, 0, 200/200 + 0.5) = (0,0,1); E -> P5, which holds only
//    E: (0,0,4); C, D -> C6 = (128, 0, 2/301 + 0.5) = (128,0,0).
TEST(Quantize, FoldsByChildrenThenByCountForTheLevel)
{
    std::vector<ColourRun> runs{
        {{0, 0, 0}, 100},   // A
        {{0x80, 0, 0}, 300}, // C
        {{0, 0, 4}, 1},     // E
        {{0, 0, 2}, 100},   // B
        {{0x80, 0, 2}, 1},  // D
    };
    for (int k = 0; k < 13; ++k)
        runs.push_back({{0x40, static_cast<uint8_t>(0x10 * k), 0x40}, 512});
    std::vector<uint8_t> texels = texels_of(runs);

    quantize_row(texels, 16);

    const std::vector<Rgb> expected_runs{{0, 0, 1}, {128, 0, 0}, {0, 0, 4}, {0, 0, 1}, {128, 0, 0}};
    size_t index = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        const Rgb expected = r < expected_runs.size() ? expected_runs[r] : runs[r].colour;
        for (int i = 0; i < runs[r].count; ++i, ++index)
            ASSERT_EQ(colour_at(texels, index), expected) << "run " << r << ", texel " << index;
    }
    EXPECT_EQ(distinct_colours(texels).size(), 16u);
}

} // namespace
