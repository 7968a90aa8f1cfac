#include <gtest/gtest.h>

#include "base/out_buffer.h"

namespace {

std::vector<uint8_t> content(const OutBuffer& ob)
{
    return std::vector<uint8_t>(ob.bytes.begin(), ob.bytes.begin() + ob.length);
}

TEST(OutBuffer, WritesBigEndian)
{
    OutBuffer ob;
    ob_write_u32(ob, 0x06001234);
    ob_write_u16(ob, 0xBEEF);
    ob_write_u32_pair(ob, 0xDF000000, 0x00000001);
    ob_write_u8(ob, 0x7F);
    EXPECT_EQ(content(ob), (std::vector<uint8_t>{0x06, 0x00, 0x12, 0x34, 0xBE, 0xEF, 0xDF, 0x00, 0x00, 0x00, 0x00,
                                                 0x00, 0x00, 0x01, 0x7F}));
    EXPECT_EQ(ob.capacity(), 1024u);
    EXPECT_EQ(ob_read_u32(ob, 6), 0xDF000000u);
    EXPECT_EQ(ob_read_u16(ob, 4), 0xBEEFu);
}

TEST(OutBuffer, AlignmentPadsWithZeros)
{
    OutBuffer ob = make_out_buffer(16);
    ob_write_u32_pair(ob, 1, 2);
    ob_align8(ob);
    EXPECT_EQ(ob.length, 8u);
    ob_write_u8(ob, 0xAA);
    ob_align8(ob);
    EXPECT_EQ(ob.length, 16u);
    ob_write_u8(ob, 0xBB);  // reallocates
    ob_align16(ob);
    ob_align4(ob);
    EXPECT_EQ(ob.length, 32u);
    const std::vector<uint8_t> bytes = content(ob);
    EXPECT_EQ(bytes[8], 0xAA);
    EXPECT_EQ(bytes[16], 0xBB);
    for (size_t i : {9u, 15u, 17u, 31u})
        EXPECT_EQ(bytes[i], 0) << i;
}

TEST(OutBuffer, ResizeLowersOrZeroFills)
{
    OutBuffer ob;
    ob_write_u32(ob, 0xFFFFFFFF);
    ob_resize(ob, 2);
    EXPECT_EQ(ob.length, 2u);
    ob_resize(ob, 6);
    EXPECT_EQ(content(ob), (std::vector<uint8_t>{0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST(OutBuffer, GrowsToHalfAgainWhatIsNeededAndKeepsContent)
{
    OutBuffer ob = make_out_buffer(0x400000);
    ob_resize(ob, 0x400000 - 4);
    ob_write_u16(ob, 0x1234);
    EXPECT_EQ(ob.capacity(), 0x400000u);
    // A write that needs the whole capacity or more grows it.
    ob_write_u32(ob, 0xCAFEF00D);
    EXPECT_EQ(ob.capacity(), 0x400002u + 0x400002u / 2);
    EXPECT_EQ(ob_read_u16(ob, 0x400000 - 4), 0x1234u);
    EXPECT_EQ(ob_read_u32(ob, 0x400000 - 2), 0xCAFEF00Du);
}

TEST(MakeIdentifier, UpperCaseCIdentifiers)
{
    EXPECT_EQ(make_identifier("2hand.left"), "_2HAND_LEFT");
    EXPECT_EQ(make_identifier("Default"), "DEFAULT");
    EXPECT_EQ(make_identifier("9"), "_9");
    EXPECT_EQ(make_identifier("a-b c"), "A_B_C");
    EXPECT_EQ(make_identifier(""), "");
    EXPECT_EQ(make_identifier("Limb_0\xC3\xA9"), "LIMB_0__");
}

TEST(PointerPositions, MembershipOnly)
{
    PointerPositions positions;
    EXPECT_FALSE(is_pointer_position(positions, 16));
    add_pointer_position(positions, 16);
    add_pointer_position(positions, 16);
    EXPECT_TRUE(is_pointer_position(positions, 16));
    EXPECT_FALSE(is_pointer_position(positions, 20));
}

}  // namespace
