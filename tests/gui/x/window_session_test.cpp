// Drives the real program's windows on a private X server: the main window's
// layout and checks, a conversion through the file dialogs (answered by the
// test hook) and one through a dropped file, each ending in the log window,
// whose text is copied to the clipboard and read back.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "x/x_session.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

XSession* session = nullptr;

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_all(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A folder with a blank in its name, so every path the windows pass on has one.
struct Folder {
    fs::path path;
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "tessaloom-window-XXXXXX").string();
        path = fs::path(mkdtemp(pattern.data())) / "with blank";
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path.parent_path()); }
};

// The program under test, with its standard error in a file.
class Program {
public:
    Program(const fs::path& cwd, const std::vector<std::string>& args, const std::optional<std::string>& dialogs)
        : err_(cwd / "stderr.txt")
    {
        pid_ = fork();
        if (pid_ == 0) {
            chdir(cwd.c_str());
            const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            const int out = open("/dev/null", O_WRONLY);
            dup2(out, 1);
            setenv("DISPLAY", session->display_name().c_str(), 1);
            setenv("HOME", cwd.c_str(), 1);
            setenv("XDG_CONFIG_HOME", cwd.c_str(), 1);
            unsetenv("TESSALOOM_HEADLESS");
            if (dialogs)
                setenv("TESSALOOM_TEST_DIALOGS", dialogs->c_str(), 1);
            else
                unsetenv("TESSALOOM_TEST_DIALOGS");
            std::vector<char*> argv{const_cast<char*>(TESSALOOM_EXE)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(TESSALOOM_EXE, argv.data());
            _exit(127);
        }
    }
    ~Program()
    {
        if (pid_ > 0 && !exit_code_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Everything written to standard error so far, by this process and the
    // conversions it started.
    std::string err() const { return read_all(err_); }
    bool err_has(const std::string& line) const
    {
        return poll_until([&] { return err().find(line) != std::string::npos; });
    }

    // The exit code, waiting up to five seconds; -1 if it did not end.
    int exit_code()
    {
        if (!exit_code_) {
            int status = 0;
            if (!poll_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }))
                return -1;
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return *exit_code_;
    }

private:
    fs::path err_;
    pid_t pid_ = -1;
    std::optional<int> exit_code_;
};

// Client coordinates of the main window's controls.
constexpr int kScaleX = 50, kScaleY = 252;
constexpr int kOffsetX = 160, kOffsetY = 252;
constexpr int kConvertX = 110, kConvertY = 282;
constexpr int kAboutX = 55, kAboutY = 312;
constexpr int kExitX = 160, kExitY = 312;
constexpr int kCopyX = 100, kCopyY = 372;
constexpr int kDoneX = 290, kDoneY = 372;
// The check mark of the checkbox with this index.
int check_y(int index) { return 22 + 30 * index; }
constexpr int kCheckX = 18;

const char* const one_triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng tri\nf 1 2 3\n";

// Takes a picture when TESSALOOM_SCREENSHOTS names a folder.
void picture(Window window, const char* name)
{
    if (const char* folder = std::getenv("TESSALOOM_SCREENSHOTS")) {
        EXPECT_TRUE(session->screenshot(window, fs::path(folder) / name));
    }
}

class WindowSession : public testing::Test {
protected:
    void SetUp() override
    {
        if (session == nullptr || !session->available())
            GTEST_SKIP() << "Xvfb is not available";
    }

    Folder folder;
};

// The headless conversion of the same input with the given switches, for
// comparison: its object and the header text on its standard output.
std::pair<std::string, std::string> headless_conversion(const fs::path& dir, const fs::path& input,
                                                        const std::vector<std::string>& switches)
{
    const fs::path out = dir / "expected";
    fs::create_directories(out);
    std::string command = "cd '" + out.string() + "' && TESSALOOM_HEADLESS=1 '" TESSALOOM_EXE "' object '" +
                          input.string() + "' expected.zobj";
    for (const std::string& s : switches)
        command += " " + s;
    command += " >stdout.txt 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    // The header text is all of it but the closing line, which is not logged
    // and, unlike the header, ends in a bare line feed.
    const std::string printed = read_all(out / "stdout.txt");
    return {read_all(out / "expected.zobj"), printed.substr(0, printed.rfind("\r\n") + 2)};
}

TEST_F(WindowSession, MainWindowLayoutChecksAndCancelledDialogs)
{
    // Both dialogs cancel.
    Program program(folder.path, {}, std::string("\n"));
    const std::optional<Window> main = session->find_window("tessaloom");
    ASSERT_TRUE(main);
    const XSession::Geometry g = session->geometry(*main);
    EXPECT_EQ(g.width, 230);
    EXPECT_EQ(g.height, 385);
    picture(*main, "main-window.png");

    // Each check refuses its text with its own message, and the window
    // stays ready for the next request.
    struct Case {
        const char* offset;
        const char* scale;
        const char* message;
    };
    const Case cases[] = {
        {"q", "1024", "Message: Please enter a valid base offset!\n"},
        {"100000000", "1024", "Message: Please enter a valid base offset!\n"},
        {"6000004", "1024", "Message: The base offset you entered\nis not evenly divisible by 8!\n"},
        {"06100000", "1024", "Message: The base offset you entered is rather high. Perhaps you made a typo?\n"},
        {"0x0", "2/0", "Message: Please don't divide by zero!\n\nWhat are you trying to do, get us all killed?!\n"},
        {"0x0", "0/2", "Message: Please don't scale by zero!\n"},
        {"0x0", "abc", "Message: Please enter a valid scale!\n"},
    };
    for (const Case& c : cases) {
        session->replace_text(*main, kOffsetX, kOffsetY, c.offset);
        session->replace_text(*main, kScaleX, kScaleY, c.scale);
        session->click(*main, kConvertX, kConvertY);
        EXPECT_TRUE(program.err_has(c.message)) << c.message << "\n" << program.err();
        EXPECT_TRUE(session->dismiss("Message")) << c.message;
    }

    // With good texts the request asks for the input; cancelling it ends the
    // request quietly.
    session->replace_text(*main, kScaleX, kScaleY, "1024");
    session->replace_text(*main, kOffsetX, kOffsetY, "0x0");
    session->click(*main, kConvertX, kConvertY);
    EXPECT_TRUE(program.err_has("Instructions: Select the .obj[ex] file you wish to convert...\n"));
    EXPECT_TRUE(session->dismiss("Instructions"));

    // Escape does not close the window: it still answers About afterwards.
    // Exit ends the process with 0.
    session->move(*main, 115, 360);
    session->key("Escape");
    session->click(*main, kAboutX, kAboutY);
    EXPECT_TRUE(program.err_has("About: tessaloom 1.0\nBuilt "));
    EXPECT_TRUE(session->dismiss("About"));
    session->click(*main, kExitX, kExitY);
    EXPECT_EQ(program.exit_code(), 0);
    EXPECT_EQ(program.err().find("Now select"), std::string::npos) << program.err();
}

// Closes the conversion's log window after checking its clipboard copy
// against `header`.
void copy_log_and_close(Program& program, const std::string& header, const char* picture_name)
{
    const std::optional<Window> log = session->find_window("tessaloom output", 10000ms);
    ASSERT_TRUE(log);
    const XSession::Geometry g = session->geometry(*log);
    EXPECT_EQ(g.width, 400);
    EXPECT_EQ(g.height, 425);
    if (picture_name != nullptr)
        picture(*log, picture_name);
    session->click(*log, kCopyX, kCopyY);
    EXPECT_TRUE(program.err_has("Message: Log successfully copied to clipboard!\n"));
    EXPECT_TRUE(session->dismiss("Message"));
    EXPECT_EQ(session->clipboard(), header);
    session->click(*log, kDoneX, kDoneY);
    EXPECT_TRUE(session->wait_gone("tessaloom output"));
}

TEST_F(WindowSession, ConversionsThroughTheDialogsAndADrop)
{
    write_all(folder.path / "in.objex", one_triangle);
    write_all(folder.path / "drop me.objex", one_triangle);
    // The save dialog's name gets the object's extension in place of its own.
    Program program(folder.path, {},
                    (folder.path / "in.objex").string() + "\n" + (folder.path / "picked.bin").string());
    const std::optional<Window> main = session->find_window("tessaloom");
    ASSERT_TRUE(main);

    // "Use insanely small textures", "No obj.h nor C output" and "Fix UV
    // overflows", twice clicked "Embed play-as data" (off again), a ratio
    // and an offset.
    session->click(*main, kCheckX, check_y(0));
    session->click(*main, kCheckX, check_y(2));
    session->click(*main, kCheckX, check_y(4));
    session->click(*main, kCheckX, check_y(3));
    session->click(*main, kCheckX, check_y(3));
    session->replace_text(*main, kScaleX, kScaleY, "100/2");
    session->replace_text(*main, kOffsetX, kOffsetY, "1000");
    session->click(*main, kConvertX, kConvertY);
    EXPECT_TRUE(session->dismiss("Instructions"));
    EXPECT_TRUE(program.err_has("Instructions: Now select a name for the .zobj...\n"));
    EXPECT_TRUE(session->dismiss("Instructions")) << program.err();

    const auto [object, header] =
        headless_conversion(folder.path, folder.path / "in.objex", {"-tt", "-nh", "-uv", "-o", "06001000", "-s", "50"});
    ASSERT_FALSE(header.empty());
    copy_log_and_close(program, header, nullptr);
    EXPECT_EQ(read_all(folder.path / "picked.zobj"), object);
    EXPECT_FALSE(fs::exists(folder.path / "obj.h"));

    // A drop of two files converts the first, without the open dialog: the
    // bundled example, now with the header file again.
    session->click(*main, kCheckX, check_y(2));
    fs::remove(folder.path / "picked.zobj");
    const fs::path demo = fs::path(TESSALOOM_SOURCE_DIR) / "examples/demo/demo.objex";
    std::string uri = "file://" + demo.string();
    for (size_t blank = uri.find(' '); blank != std::string::npos; blank = uri.find(' '))
        uri.replace(blank, 1, "%20");
    ASSERT_TRUE(session->drop(*main, 115, 200, uri + "\r\nfile:///nowhere/else.objex\r\n")) << program.err();
    EXPECT_TRUE(session->dismiss("Instructions"));
    const auto [demo_object, demo_header] =
        headless_conversion(folder.path, demo, {"-tt", "-uv", "-o", "06001000", "-s", "50"});
    copy_log_and_close(program, demo_header, "log-window.png");
    EXPECT_EQ(read_all(folder.path / "picked.zobj"), demo_object);
    EXPECT_EQ(read_all(folder.path / "obj.h"), demo_header);
    // Only the first request asked for an input file.
    EXPECT_EQ(count(program.err(), "Instructions: Select the"), 1) << program.err();
    EXPECT_EQ(count(program.err(), "Instructions: Now select a name for the .zobj"), 2) << program.err();

    session->click(*main, kExitX, kExitY);
    EXPECT_EQ(program.exit_code(), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // One server for every test.
    XSession x;
    session = &x;
    return RUN_ALL_TESTS();
}
