#include <gtest/gtest.h>

#include "base/messages.h"
#include "driver/command_line.h"

namespace {

CommandLine parse(std::vector<std::string> switches, std::string output = "out/model.zobj")
{
    std::vector<std::string> args = {"tessaloom", "object", "in.objex", output};
    args.insert(args.end(), switches.begin(), switches.end());
    return parse_command_line(args);
}

std::string error_of(std::vector<std::string> switches)
{
    try {
        parse(switches);
    } catch (const FatalError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CommandLine, DefaultsWithoutSwitches)
{
    const CommandLine cl = parse({});
    EXPECT_EQ(cl.input_path, "in.objex");
    EXPECT_EQ(cl.output_path, "out/model.zobj");
    EXPECT_EQ(cl.settings.scale, 1024.0f);
    EXPECT_EQ(cl.settings.base_offset, 0x06000000u);
    EXPECT_TRUE(cl.settings.write_header);
    EXPECT_FALSE(cl.settings.tiny_textures || cl.settings.play_as || cl.settings.mtl_colors ||
                 cl.settings.embed_c || cl.settings.fix_uv || cl.link_format);
    EXPECT_EQ(cl.header_path, "out/obj.h");
}

TEST(CommandLine, HeaderPathLiesBesideTheOutput)
{
    EXPECT_EQ(parse({}, "model.zobj").header_path, "obj.h");
    EXPECT_EQ(parse({}, "C:\\m\\a.zobj").header_path, "C:\\m\\obj.h");
    // The last '/' wins over any '\'.
    EXPECT_EQ(parse({}, "a\\b/c\\d.zobj").header_path, "a\\b/obj.h");
    // The C array goes to the output path itself.
    EXPECT_EQ(parse({"-cz"}, "out/model.h").header_path, "out/model.h");
    EXPECT_FALSE(parse({"-nh"}).header_path.has_value());
    EXPECT_FALSE(parse({"-cz", "-nh"}).header_path.has_value());
}

TEST(CommandLine, OutputPathMustNameAFile)
{
    EXPECT_THROW(parse({}, "out/"), FatalError);
    EXPECT_THROW(parse({}, "out\\"), FatalError);
    EXPECT_THROW(parse({"-nh"}, ""), FatalError);
}

struct OffsetCase {
    std::string value;
    uint32_t expected;
    friend std::ostream& operator<<(std::ostream& os, const OffsetCase& c) { return os << c.value; }
};

class AcceptedBaseOffset : public testing::TestWithParam<OffsetCase> {};

TEST_P(AcceptedBaseOffset, GivesSegmentAddress)
{
    EXPECT_EQ(parse({"-o", GetParam().value}).settings.base_offset, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, AcceptedBaseOffset,
                         testing::Values(OffsetCase{"1000", 0x06001000}, OffsetCase{"0x06001000", 0x06001000},
                                         OffsetCase{"80000000", 0x80000000}, OffsetCase{"060FFFF8", 0x060FFFF8},
                                         OffsetCase{"0", 0x06000000}, OffsetCase{"0x0", 0x06000000},
                                         OffsetCase{"  0X10zz", 0x06000010}, OffsetCase{"5000000", 0x05000000}));

struct ErrorCase {
    std::vector<std::string> switches;
    std::string message;
    friend std::ostream& operator<<(std::ostream& os, const ErrorCase& c)
    {
        for (const std::string& s : c.switches)
            os << s << ' ';
        return os;
    }
};

class RejectedSwitch : public testing::TestWithParam<ErrorCase> {};

TEST_P(RejectedSwitch, StopsWithMessage)
{
    EXPECT_EQ(error_of(GetParam().switches), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RejectedSwitch,
    testing::Values(ErrorCase{{"-o", "6000004"}, "Invalid base offset; 0x6000004 is not aligned by 8"},
                    ErrorCase{{"-o", "06100000"}, "This base offset is high: 0x6100000. Perhaps a typo?"},
                    ErrorCase{{"-o", "100000"}, "This base offset is high: 0x100000. Perhaps a typo?"},
                    ErrorCase{{"-o", "q"}, "Invalid base offset; is this even hex?: 'q'"},
                    ErrorCase{{"-o", "100000000"}, "Invalid base offset; 0x100000000 does not fit in 32 bits"},
                    ErrorCase{{"-s", "0"}, "Please don't scale by zero!"},
                    ErrorCase{{"-s", "0/5"}, "Please don't scale by zero!"},
                    ErrorCase{{"-s", "5/0"}, "Please don't scale by zero!"},
                    ErrorCase{{"-s", "abc"}, "Invalid arguments!"},
                    ErrorCase{{"-s", "1e50"}, "Invalid arguments!"},
                    ErrorCase{{"-S", "nan"}, "Invalid arguments!"}));

TEST(CommandLine, ScaleTakesNumbersAndRatios)
{
    EXPECT_EQ(parse({"-s", "1/2"}).settings.scale, 0.5f);
    EXPECT_EQ(parse({"-s", "100/3"}).settings.scale, 100.0f / 3.0f);
    EXPECT_EQ(parse({"-S", " 16abc"}).settings.scale, 16.0f);
    EXPECT_EQ(parse({"-s", "-2"}).settings.scale, -2.0f);
}

TEST(CommandLine, ValueSwitchInLastPlaceIsIgnored)
{
    EXPECT_EQ(parse({"-s"}).settings.scale, 1024.0f);
    EXPECT_EQ(parse({"-o"}).settings.base_offset, 0x06000000u);
}

TEST(CommandLine, FlagSwitchesInBothSpellings)
{
    const CommandLine lower = parse({"-l", "-tt", "-p", "-mc", "-uv"});
    EXPECT_TRUE(lower.link_format && lower.settings.tiny_textures && lower.settings.play_as &&
                lower.settings.mtl_colors && lower.settings.fix_uv);
    const CommandLine upper = parse({"-L", "-TT", "-P", "-MC", "-NH"});
    EXPECT_TRUE(upper.link_format && upper.settings.tiny_textures && upper.settings.play_as &&
                upper.settings.mtl_colors && !upper.settings.write_header);
    EXPECT_FALSE(parse({"-UV"}).settings.fix_uv);
    EXPECT_TRUE(parse({"-CZ"}).settings.embed_c);
}

TEST(CommandLine, LastHeaderSwitchWins)
{
    EXPECT_TRUE(parse({"-nh", "-c"}).settings.write_header);
    EXPECT_FALSE(parse({"-C", "-nh"}).settings.write_header);
}

TEST(CommandLine, EmbeddedCForcesSegmentSixAndNoPlayAs)
{
    const CommandLine cl = parse({"-cz", "-o", "80000000", "-p"});
    EXPECT_EQ(cl.settings.base_offset, 0x06000000u);
    EXPECT_FALSE(cl.settings.play_as);
}

TEST(CommandLine, UnknownArgumentsAreIgnoredAndPathsActAsSwitches)
{
    EXPECT_EQ(parse({"-", "-x", "--p"}).settings.play_as, false);
    // A mode word spelled like a switch acts as one.
    const CommandLine cl = parse_command_line({"tessaloom", "-p", "in.objex", "out.zobj"});
    EXPECT_TRUE(cl.settings.play_as);
}

}  // namespace
