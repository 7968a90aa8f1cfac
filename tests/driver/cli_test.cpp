// Runs the real executable, headless, in a temporary folder.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

TEST(Cli, UsageWithFewerThanThreeArguments)
{
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"object"}, {"object", "in.objex"}}) {
        const ProcessResult r = run_tessaloom(args, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.rfind("usage: ", 0), 0u) << r.out;
        for (const char* sw : {"-s ", "-o ", "-l ", "-tt ", "-c ", "-nh ", "-p ", "-mc ", "-cz ", "-uv "})
            EXPECT_NE(r.out.find(sw), std::string::npos) << sw;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(list_files(dir.path()).empty());
}

struct BadSwitch {
    std::vector<std::string> switches;
    std::string stderr_line;
    friend std::ostream& operator<<(std::ostream& os, const BadSwitch& c)
    {
        for (const std::string& s : c.switches)
            os << s << ' ';
        return os;
    }
};

class CliBadSwitch : public testing::TestWithParam<BadSwitch> {};

TEST_P(CliBadSwitch, ShowsErrorExitsOneAndWritesNothing)
{
    TempDir dir;
    std::vector<std::string> args = {"object", "in.objex", "out.zobj"};
    args.insert(args.end(), GetParam().switches.begin(), GetParam().switches.end());
    const ProcessResult r = run_tessaloom(args, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, GetParam().stderr_line);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(list_files(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliBadSwitch,
    testing::Values(BadSwitch{{"-o", "6000004"}, "Error: Invalid base offset; 0x6000004 is not aligned by 8\n"},
                    BadSwitch{{"-o", "06100000"}, "Error: This base offset is high: 0x6100000. Perhaps a typo?\n"},
                    BadSwitch{{"-o", "q"}, "Error: Invalid base offset; is this even hex?: 'q'\n"},
                    BadSwitch{{"-s", "5/0"}, "Error: Please don't scale by zero!\n"},
                    BadSwitch{{"-p", "-s", "abc"}, "Error: Invalid arguments!\n"}));

TEST(Cli, FolderAsOutputIsRefused)
{
    TempDir dir;
    const ProcessResult r = run_tessaloom({"object", "in.objex", "sub/"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error: The output path 'sub/' names a folder, not a file\n");
    EXPECT_TRUE(list_files(dir.path()).empty());
}

TEST(Cli, EmbeddedCWithoutHeaderEndsWithSuccessMessage)
{
    TempDir dir;
    write_file(dir / "in.objex", "");
    const ProcessResult r = run_tessaloom({"object", "in.objex", "out.h", "-cz", "-nh"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "Information: Conversion successful!\n");
}

}  // namespace
