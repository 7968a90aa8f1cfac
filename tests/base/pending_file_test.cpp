#include <gtest/gtest.h>

#include "base/messages.h"
#include "base/pending_file.h"
#include "support/test_support.h"

namespace {

TEST(PendingFile, ReplacesTheDestinationOnlyWhenCommitted)
{
    TempDir dir;
    const std::string path = (dir / "out.zobj").string();
    write_file(path, "old");
    {
        PendingFile pending = open_pending_file(path);
        std::fputs("half", pending.file);
        EXPECT_EQ(read_file(path), "old");
    }  // dropped: the old file stays, the temporary one is gone
    EXPECT_EQ(read_file(path), "old");
    EXPECT_EQ(list_files(dir.path()).size(), 1u);

    PendingFile pending = open_pending_file(path);
    std::fputs("new", pending.file);
    commit_pending_file(pending);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(list_files(dir.path()).size(), 1u);
}

TEST(PendingFile, UncreatableDestinationIsNamed)
{
    TempDir dir;
    const std::string path = (dir / "no" / "out.zobj").string();
    try {
        open_pending_file(path);
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.what(), "Couldn't create '" + path + "'!");
    }
}

TEST(PendingFile, LogStreamOpenedWhenCompleteAppearsOnClose)
{
    TempDir dir;
    const std::string path = (dir / "model.h").string();
    write_file(path, "previous");
    {
        LogStream log;
        log.echo = nullptr;
        open_log(log, &path, true);
        log_printf(log, "partial");
    }  // never closed: a failed conversion
    EXPECT_EQ(read_file(path), "previous");

    LogStream log;
    log.echo = nullptr;
    open_log(log, &path, true);
    log_printf(log, "complete");
    EXPECT_EQ(read_log_text(log), "complete");
    close_log(log);
    EXPECT_EQ(read_file(path), "complete");
    EXPECT_EQ(list_files(dir.path()).size(), 1u);
}

}  // namespace
