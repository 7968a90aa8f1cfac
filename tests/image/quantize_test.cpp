#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>

#include "image/quantize.h"

namespace {

using Rgb = std::array<uint8_t, 3>;

// Texels from (colour, repeat) runs, alpha 255.
std::vector<uint8_t> texels_of(const std::vector<std::pair<Rgb, int>>& runs)
{
    std::vector<uint8_t> texels;
    for (const auto& [c, count] : runs)
        for (int i = 0; i < count; ++i)
            texels.insert(texels.end(), {c[0], c[1], c[2], 255});
    return texels;
}

std::vector<Rgb> colours_of(const std::vector<uint8_t>& texels)
{
    std::vector<Rgb> colours;
    for (size_t i = 0; i < texels.size(); i += 4)
        colours.push_back({texels[i], texels[i + 1], texels[i + 2]});
    return colours;
}

std::vector<Rgb> quantized(std::vector<uint8_t> texels, int colours)
{
    quantize_colours(texels.data(), static_cast<int32_t>(texels.size() / 4), 1, colours);
    return colours_of(texels);
}

TEST(Quantize, FewColoursFoldNothingButShareTheLowestBit)
{
    // Leaves: {10,11,11 | 20,21,20 | 30,31,30}, {200,201 | 100 | 50}, {12,20,30}.
    const auto result = quantized(texels_of({{{10, 20, 30}, 1}, {{11, 21, 31}, 1}, {{11, 20, 30}, 1},
                                             {{200, 100, 50}, 1}, {{201, 100, 50}, 1}, {{12, 20, 30}, 1}}),
                                  16);
    // 32/3 -> 11, 61/3 -> 20, 91/3 -> 30; 401/2 = 200.5 -> 201.
    EXPECT_EQ(result, (std::vector<Rgb>{{11, 20, 30}, {11, 20, 30}, {11, 20, 30},
                                        {201, 100, 50}, {201, 100, 50}, {12, 20, 30}}));
}

TEST(Quantize, GreyRampStaysGreyAndAlphaStaysPut)
{
    std::vector<uint8_t> ramp;
    for (int v = 0; v < 256; ++v)
        ramp.insert(ramp.end(), {uint8_t(v), uint8_t(v), uint8_t(v), uint8_t(255 - v)});
    std::vector<uint8_t> texels = ramp;
    quantize_colours(texels.data(), 16, 16, 16);

    const std::vector<Rgb> colours = colours_of(texels);
    EXPECT_EQ(std::set<Rgb>(colours.begin(), colours.end()).size(), 16u);
    for (size_t i = 0; i < colours.size(); ++i) {
        EXPECT_TRUE(colours[i][0] == colours[i][1] && colours[i][1] == colours[i][2]) << "texel " << i;
        EXPECT_EQ(texels[4 * i + 3], ramp[4 * i + 3]) << "alpha of texel " << i;
    }
}

// Seventeen leaves of equal heap order (childless, under 128 texels),
// inserted as L1..L17 with L1 holding (0,0,0) and (1,1,1); unnamed leaves are
// (16(k-1), 128, 0), each in a branch of its own. The heap then holds L1..L17
// at 1..17. Taking L1 moves L17 to 1, where it stays: no child comes strictly
// before it. L1's parent goes to the end. Taking L17 moves that parent to 1
// if it was appended; with one child left it sinks along the left children
// (2, 4, 8, 16), the left winning ties, so L2 rises to 1.
std::vector<uint8_t> seventeen_leaves(const std::map<int, Rgb>& named)
{
    std::vector<std::pair<Rgb, int>> runs;
    for (int k = 1; k <= 17; ++k) {
        runs.push_back({named.count(k) ? named.at(k) : Rgb{uint8_t(16 * (k - 1)), 0x80, 0}, 1});
        if (k == 1)
            runs.push_back({{1, 1, 1}, 1});
    }
    return texels_of(runs);
}

TEST(Quantize, EqualNodesStayWhereTheSiftLeavesThem)
{
    // L1, L2 and L17 share a parent: L1 then L17 (not L2) fold into it, leaving
    // sixteen. It holds (0,0,0), (1,1,1), (2,0,0): (3, 1, 1) / 3 -> (1,0,0).
    const std::vector<uint8_t> texels = seventeen_leaves({{1, {0, 0, 0}}, {2, {0, 0, 2}}, {17, {2, 0, 0}}});
    std::vector<Rgb> expected = colours_of(texels);
    expected[0] = expected[1] = expected[17] = {1, 0, 0};  // texels 0, 1: L1; 17: L17
    EXPECT_EQ(quantized(texels, 16), expected);
}

TEST(Quantize, EqualChildrenResolveToTheLeft)
{
    // Pairs L1+L2 and L3+L17. L17's fold appends its parent; L2, risen to 1,
    // completes L1's parent: (0,0,0), (1,1,1), (0,0,2) -> (0,0,1).
    const std::vector<uint8_t> texels =
        seventeen_leaves({{1, {0, 0, 0}}, {2, {0, 0, 2}}, {3, {0x20, 0, 0}}, {17, {0x20, 0, 2}}});
    std::vector<Rgb> expected = colours_of(texels);
    expected[0] = expected[1] = expected[2] = {0, 0, 1};  // texels 0, 1: L1; 2: L2
    EXPECT_EQ(quantized(texels, 16), expected);
}

// Eighteen leaves to sixteen; keys are (children, count >> depth).
//   A (0,0,0) x100 and B (0,0,2) x100 share P6, beside E6 (holding E (0,0,4)
//   x1) under P5; C (128,0,0) x300 and D (128,0,2) x1 share C6; thirteen
//   leaves of 512 texels (key 4).
//  - A, B, D, E (key 0), then E6 (1 texel at depth 6: key 0) fold first, in
//    any order; only the second of A and B lowers the count, to 17. P6 is now
//    childless with 200 texels at depth 6: key 3; C6 and P5 keep a child.
//  - C (300 >> 7 = 2) comes before P6 (200 >> 6 = 3) though it holds more
//    texels, and folds into C6: sixteen.
//  - A, B -> P6: (0, 0, 200/200) = (0,0,1); E -> P5, holding only E: (0,0,4);
//    C, D -> C6: (128, 0, 2/301 + 0.5) = (128,0,0).
TEST(Quantize, FoldsByChildrenThenByCountForTheLevel)
{
    std::vector<std::pair<Rgb, int>> runs{
        {{0, 0, 0}, 100}, {{0x80, 0, 0}, 300}, {{0, 0, 4}, 1}, {{0, 0, 2}, 100}, {{0x80, 0, 2}, 1}};
    const std::vector<Rgb> folded{{0, 0, 1}, {128, 0, 0}, {0, 0, 4}, {0, 0, 1}, {128, 0, 0}};
    std::vector<std::pair<Rgb, int>> expected_runs;
    for (size_t r = 0; r < runs.size(); ++r)
        expected_runs.push_back({folded[r], runs[r].second});
    for (int k = 0; k < 13; ++k) {
        runs.push_back({{0x40, uint8_t(0x10 * k), 0x40}, 512});
        expected_runs.push_back(runs.back());
    }
    EXPECT_EQ(quantized(texels_of(runs), 16), colours_of(texels_of(expected_runs)));
}

} // namespace
