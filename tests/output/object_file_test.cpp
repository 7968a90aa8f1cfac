#include <gtest/gtest.h>

#include "base/messages.h"
#include "model/model.h"
#include "output/object_file.h"

namespace {

std::string bytes_of(const OutBuffer& ob)
{
    return std::string(reinterpret_cast<const char*>(ob.data()), ob.length);
}

Group group_with_list(std::string name, uint32_t display_list)
{
    Group g;
    g.name = std::move(name);
    g.display_list = display_list;
    return g;
}

std::string manifest_of(std::vector<Group> groups)
{
    OutBuffer ob;
    append_play_as_manifest(ob, groups, groups.size());
    return bytes_of(ob);
}

TEST(PlayAsManifest, NamesSplitAtCommasAfterCuttingAtBar)
{
    std::vector<Group> groups = {group_with_list("head,face|extra", 0x100)};
    OutBuffer ob;
    append_play_as_manifest(ob, groups, 1);
    EXPECT_EQ(bytes_of(ob), std::string("!PlayAsManifest0"
                                        "\x00\x02"              // two entries
                                        "head\0\x00\x00\x01\x00"  // name, offset 0x100
                                        "face\0\x00\x00\x01\x00"
                                        "\x00\x00"  // no records
                                        "\x0A"      // 10 bytes to the boundary...
                                        "!EndPlayA",  // ...and the marker's first 9
                                        48));
    EXPECT_EQ(groups[0].name, "head,face");
}

TEST(PlayAsManifest, EndPaddingReachesSixteen)
{
    // 16 magic + 2 count + name + NUL + 4 offset + 2 record count.
    EXPECT_EQ(manifest_of({group_with_list("abcdefg", 0)}).size(), 32u);  // ends at 32: nothing added
    const std::string thirteen = manifest_of({group_with_list("abcd", 0)});  // ends at 29
    EXPECT_EQ(thirteen.substr(29), std::string("\x03!E", 3));
    const std::string fifteen = manifest_of({group_with_list("abcdef", 0)});  // ends at 31
    EXPECT_EQ(fifteen.substr(31), std::string("\x01", 1));
}

TEST(PlayAsManifest, GroupsWithoutListAreLeftOutAndEmptyPiecesSkipped)
{
    const std::string m = manifest_of({group_with_list("none", 0xFFFFFFFF), group_with_list(",,", 0x08),
                                       group_with_list(",a,,b,", 0x10)});
    EXPECT_EQ(m.substr(16, 2 + 3 + 4 + 6 + 6 + 2), std::string("\x00\x03"
                                                              ",,\0\x00\x00\x00\x08"  // no piece: whole name
                                                              "a\0\x00\x00\x00\x10"
                                                              "b\0\x00\x00\x00\x10"
                                                              "\x00\x00",
                                                              23));
}

// The entry count is 16 bits: 65535 names fit, one more stops the run.
TEST(PlayAsManifest, MoreNamesThanTheCountHoldsStop)
{
    std::string names(2 * 65535 - 1, ',');
    for (size_t i = 0; i < names.size(); i += 2)
        names[i] = 'a';
    EXPECT_EQ(manifest_of({group_with_list(names, 0)}).substr(16, 2), "\xFF\xFF");
    try {
        manifest_of({group_with_list(names + ",b", 0)});
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "The play-as manifest would hold 65536 names; at most 65535 fit");
    }
}

TEST(CArray, PointerWordsBecomeExpressionsOnlyWhereRecorded)
{
    OutBuffer ob;
    ob_write_u32(ob, 0x06000F08);  // recorded: an expression
    ob_write_u32(ob, 0x06000F08);  // not recorded: plain hex
    ob_write_u32(ob, 0x80000010);  // recorded but not segment 6
    ob_write_u16(ob, 0xABCD);      // a partial word is left out
    PointerPositions positions;
    add_pointer_position(positions, 0);
    add_pointer_position(positions, 8);
    EXPECT_EQ(c_array_text(ob, positions), "\nu32 zobj[]={(u32)(zobj+962),0x06000F08,0x80000010};");
    EXPECT_EQ(c_array_text(OutBuffer{}, positions), "\nu32 zobj[]={};");
}

}  // namespace
