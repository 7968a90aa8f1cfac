#include <gtest/gtest.h>

#include "base/messages.h"
#include "driver/pipeline.h"
#include "platform/headless.h"
#include "support/recording_platform.h"
#include "support/test_support.h"

namespace {

TEST(Messages, FatalErrorFormatsAndThrows)
{
    EXPECT_EQ(fatal_text([] { fatal_error("Invalid base offset; 0x%X is not aligned by 8", 0x6000004u); }),
              "Invalid base offset; 0x6000004 is not aligned by 8");
}

TEST(Messages, LongMessagesAreKeptWhole)
{
    const std::string name(5000, 'n');
    EXPECT_EQ(fatal_text([&] { fatal_error("Couldn't open '%s'!", name.c_str()); }),
              "Couldn't open '" + name + "'!");
}

TEST(Messages, WarningIsShownAndReturns)
{
    RecordingPlatform platform;
    show_warning(platform, "texture '%s' is %dx%d", "a.png", 3, 5);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0], "Warning: texture 'a.png' is 3x5");
}

TEST(Messages, ProgramReportsErrorsAndExhaustedMemoryWithExitOne)
{
    // A main window that runs out of memory stands in for any stage.
    struct StarvedPlatform : RecordingPlatform {
        int run_main_window(const std::string&) override { throw std::bad_alloc(); }
    } starved;
    EXPECT_EQ(run_program(starved, {"tessaloom"}), 1);
    EXPECT_EQ(starved.boxes, std::vector<std::string>{"Error: Ran out of memory!"});

    RecordingPlatform platform;
    EXPECT_EQ(run_program(platform, {"tessaloom", "object", "in.objex", "out.zobj", "-s", "0"}), 1);
    EXPECT_EQ(platform.boxes, std::vector<std::string>{"Error: Please don't scale by zero!"});
}

TEST(Headless, ChosenByVariableOrMissingDisplay)
{
    EXPECT_TRUE(headless_requested("1", ":0", nullptr));
    EXPECT_TRUE(headless_requested("yes", ":0", nullptr));
    EXPECT_FALSE(headless_requested("0", ":0", nullptr));
    EXPECT_FALSE(headless_requested("", nullptr, "wayland-0"));
    EXPECT_FALSE(headless_requested(nullptr, ":0", nullptr));
    EXPECT_TRUE(headless_requested(nullptr, nullptr, nullptr));
    EXPECT_TRUE(headless_requested("0", "", ""));
}

class LogStreamTest : public testing::Test {
protected:
    void SetUp() override { log.echo = std::tmpfile(); }
    void TearDown() override { std::fclose(log.echo); }

    std::string echoed()
    {
        std::string text(static_cast<size_t>(std::ftell(log.echo)), '\0');
        std::rewind(log.echo);
        text.resize(std::fread(text.data(), 1, text.size(), log.echo));
        return text;
    }

    LogStream log;
};

TEST_F(LogStreamTest, WithoutStreamTextGoesToEchoOnly)
{
    log_printf(log, "%s/* %s * * * */%s", "\r\n", "Display Lists", "\r\n");
    EXPECT_EQ(echoed(), "\r\n/* Display Lists * * * */\r\n");
    EXPECT_EQ(get_log_stream(log), nullptr);
    EXPECT_FALSE(read_log_text(log).has_value());
}

TEST_F(LogStreamTest, EmptyStreamReadsBackAsNothing)
{
    open_log(log, nullptr);
    ASSERT_NE(get_log_stream(log), nullptr);
    EXPECT_FALSE(read_log_text(log).has_value());
}

TEST_F(LogStreamTest, TextReadsBackByteForByteAndStreamStaysOpen)
{
    TempDir dir;
    const std::string path = (dir / "obj.h").string();
    open_log(log, &path);
    log_printf(log, "a\r\nb%d\r\n", 7);
    EXPECT_EQ(read_log_text(log), "a\r\nb7\r\n");
    log_printf(log, "c");
    EXPECT_EQ(read_log_text(log), "a\r\nb7\r\nc");
    EXPECT_EQ(echoed(), "a\r\nb7\r\nc");
    close_log(log);
    EXPECT_EQ(read_file(path), "a\r\nb7\r\nc");
}

TEST_F(LogStreamTest, OpeningCutsAnExistingFile)
{
    TempDir dir;
    const std::string path = (dir / "obj.h").string();
    write_file(path, "old contents");
    open_log(log, &path);
    close_log(log);
    EXPECT_EQ(read_file(path), "");
}

TEST_F(LogStreamTest, UnopenablePathIsFatal)
{
    TempDir dir;
    const std::string path = (dir / "missing" / "obj.h").string();
    EXPECT_EQ(fatal_text([&] { open_log(log, &path); }), "Couldn't open '" + path + "'!");
}

}  // namespace
