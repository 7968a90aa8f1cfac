#include <gtest/gtest.h>

#include <string>

#include "base/messages.h"
#include "collision/surface_types.h"

namespace {

struct KeywordCase {
    const char* name;
    bool water;
    uint32_t word0;
    uint32_t word1;
    uint16_t corner1;
    uint16_t corner2;
};

class SurfaceKeywords : public testing::TestWithParam<KeywordCase> {};

TEST_P(SurfaceKeywords, GiveTheirBits)
{
    const KeywordCase& c = GetParam();
    const SurfaceType type = parse_surface_type(c.name);
    EXPECT_EQ(type.water, c.water);
    EXPECT_EQ(type.word0, c.word0);
    EXPECT_EQ(type.word1, c.word1);
    EXPECT_EQ(type.corner1_flags, c.corner1);
    EXPECT_EQ(type.corner2_flags, c.corner2);
    EXPECT_EQ(type.corner3_flags, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SurfaceKeywords,
    testing::Values(
        // name                                 water  word0       word1       c1      c2
        KeywordCase{"ground.SOUND_GRASS.FLOOR_ICE", false, 0x00014000, 0x00000006, 0, 0},
        KeywordCase{"plain", false, 0, 0, 0, 0},
        KeywordCase{"SOUND_DIRT", false, 0, 0, 0, 0},
        KeywordCase{"WARP_3", false, 0x00000300, 0, 0, 0},
        KeywordCase{"WARP_40", false, 0x00000800, 0, 0, 0},  // 40 << 8 keeps five bits
        KeywordCase{"WARP_-1", false, 0x00001F00, 0, 0, 0},
        KeywordCase{"WARP_\t7", false, 0x00000700, 0, 0, 0},  // tab is no separator; %d skips it
        KeywordCase{"WARP_+2x", false, 0x00000200, 0, 0, 0},
        KeywordCase{"xWARP_3", false, 0, 0, 0, 0},          // prefixes match at a token's start only
        KeywordCase{"CAMERA_300", false, 0, 0x0000002C, 0, 0},  // 300 & 0xFF
        KeywordCase{"ECHO_63", false, 0, 0x0001F800, 0, 0},
        KeywordCase{"LIGHTING_33", false, 0, 0x00000040, 0, 0},  // (33 << 6) & 0x7C0
        KeywordCase{"CONVEYOR_2_90", false, 0, 0x02080000, 0, 0x2000},  // speed 2 at 18, 16 at 21
        KeywordCase{"CONVEYOR_2_90_INHERIT", false, 0, 0x02180000, 0, 0x2000},
        KeywordCase{"CONVEYOR_1_720", false, 0, 0x00040000, 0, 0x2000},     // 720 wraps to 0
        KeywordCase{"CONVEYOR_0_20", false, 0, 0x00800000, 0, 0x2000},      // 3.5 rounds to 4
        KeywordCase{"CONVEYOR_3_359", false, 0, 0x07EC0000, 0, 0x2000},     // 62.8 -> 63
        KeywordCase{"CONVEYOR_0_-90", false, 0, 0x05E00000, 0, 0x2000},     // 270 degrees -> 47
        KeywordCase{"CONVEYOR_0_-360", false, 0, 0x00000000, 0, 0x2000},
        KeywordCase{"WATERBOX", true, 0, 0, 0, 0},
        KeywordCase{"pool.WATERBOX_1_2_3.WARP_1", true, 0x00000100, 0, 0, 0},
        KeywordCase{"WATERBOXES", true, 0, 0, 0, 0},
        KeywordCase{"IGNORE_CAMERA.IGNORE_ENTITY", false, 0, 0, 0x6000, 0},
        KeywordCase{"IGNORE_AMMO", false, 0, 0, 0x8000, 0},
        // Exact keywords equal the whole token, letter case included.
        KeywordCase{"SOUND_GRASSY.sound_grass.FLOOR_ICEx", false, 0, 0, 0, 0},
        // Two values for one field are OR-ed without a check (5 | 9 = 13 in the floor property).
        KeywordCase{"SOUND_SAND.SOUND_STONE.FLOOR_PIT_SMALL.FLOOR_JUMP_FALL", false, 0x34000000, 0x00000003, 0, 0},
        KeywordCase{"..;SOUND_SAND//", false, 0, 0x00000001, 0, 0},
        KeywordCase{"SOUND_SAND\tx", false, 0, 0, 0, 0},
        // All twelve separators.
        KeywordCase{"x SOUND_SAND.NOHORSE,RAYCAST|HOOKSHOT#WALL_DAMAGE:FLOOR_STEEP;IGNORE_AMMO<WARP_1>CAMERA_5~"
                    "ECHO_2/LIGHTING_3\\FLOOR_SAND",
                    false, 0xC0010100, 0x080210F5, 0x8000, 0},
        KeywordCase{"WALL_PUSHBLOCK.SPECIAL_LOOKUP.FLOOR_PIT_LARGE", false, 0x30E2C000, 0, 0, 0},
        KeywordCase{"WALL_LADDER_TOP.FLOOR_QUICKSAND.SOUND_DIRT_LOOSE", false, 0x00630000, 0x0000000D, 0, 0}));

struct MessageCase {
    const char* name;
    const char* message;
};

class SurfaceKeywordErrors : public testing::TestWithParam<MessageCase> {};

TEST_P(SurfaceKeywordErrors, NameTheToken)
{
    try {
        parse_surface_type(GetParam().name);
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SurfaceKeywordErrors,
    testing::Values(
        MessageCase{"a.WARP_x", "Collision type 'WARP_x' incomplete arguments!"},
        MessageCase{"CAMERA_", "Collision type 'CAMERA_' incomplete arguments!"},
        MessageCase{"ECHO_-", "Collision type 'ECHO_-' incomplete arguments!"},
        MessageCase{"CONVEYOR_2", "Collision type 'CONVEYOR_2' incomplete arguments!"},
        MessageCase{"CONVEYOR_2_", "Collision type 'CONVEYOR_2_' incomplete arguments!"},
        MessageCase{"CONVEYOR_2-90", "Collision type 'CONVEYOR_2-90' incomplete arguments!"},
        MessageCase{"CONVEYOR_4_0", "Collision type 'CONVEYOR_4_0' invalid argument 'speed': (valid values are 0, 1, 2, 3)"},
        MessageCase{"CONVEYOR_-1_0",
                    "Collision type 'CONVEYOR_-1_0' invalid argument 'speed': (valid values are 0, 1, 2, 3)"},
        // Keywords are tried in table order, so WARP_ is read before CONVEYOR_.
        MessageCase{"CONVEYOR_9_0 LIGHTING_ WARP_q", "Collision type 'WARP_q' incomplete arguments!"}));

TEST(SurfaceTypeList, EqualTypesShareAnEntryInOrderOfFirstUse)
{
    SurfaceTypeList list;
    EXPECT_EQ(classify_surface("rock", list), 0);
    EXPECT_EQ(classify_surface("ground.SOUND_GRASS", list), 1);
    EXPECT_EQ(classify_surface("wood", list), 0);  // no keyword: the all-zero type
    EXPECT_EQ(classify_surface("SOUND_DIRT", list), 0);
    EXPECT_EQ(classify_surface("lawn|SOUND_GRASS", list), 1);
    // Corner flags and the water flag alone make a type distinct.
    EXPECT_EQ(classify_surface("IGNORE_CAMERA.IGNORE_ENTITY.SOUND_GRASS", list), 2);
    EXPECT_EQ(classify_surface("IGNORE_ENTITY.SOUND_GRASS", list), 3);
    EXPECT_EQ(classify_surface("WATERBOX", list), 4);
    EXPECT_EQ(classify_surface("IGNORE_ENTITY/IGNORE_CAMERA/SOUND_GRASS", list), 2);
    ASSERT_EQ(list.types.size(), 5u);
    EXPECT_EQ(list.types[2].corner1_flags, 0x6000);
    EXPECT_EQ(list.types[1].word1, 6u);

    clear_surface_types(list);
    EXPECT_EQ(classify_surface("WATERBOX", list), 0);
}

}  // namespace
