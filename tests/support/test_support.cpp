#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/messages.h"

namespace fs = std::filesystem;

#ifdef _WIN32
TempDir::TempDir()
{
    // Windows has no mkdtemp: try names until one is new.
    const fs::path base = fs::temp_directory_path();
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate = base / ("tessaloom-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                           std::to_string(GetTickCount64()) + "-" + std::to_string(attempt));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}
#else
TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tessaloom-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}
#endif

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::vector<fs::path> list_files(const fs::path& dir)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    return files;
}

#ifdef _WIN32
// One argument of a command line as the C runtime splits it again: quoted
// when it holds a blank or a quote, backslashes doubled before a quote.
static std::string quote_argument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

static HANDLE inheritable_file(const fs::path& path)
{
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProcessResult run_program(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd)
{
    TempDir capture;
    const fs::path out_path = capture / "stdout";
    const fs::path err_path = capture / "stderr";
    std::string command_line = quote_argument(exe);
    for (const std::string& a : args)
        command_line += " " + quote_argument(a);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable_file(out_path);
    startup.hStdError = inheritable_file(err_path);
    SetEnvironmentVariableA("TESSALOOM_HEADLESS", "1");
    PROCESS_INFORMATION process = {};
    const bool started = startup.hStdOutput != INVALID_HANDLE_VALUE && startup.hStdError != INVALID_HANDLE_VALUE &&
                         CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        cwd.string().c_str(), &startup, &process);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started)
        throw std::runtime_error("CreateProcess failed: " + exe);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    ProcessResult result;
    result.exit_code = static_cast<int>(code);
    result.out = read_file(out_path);
    // Standard error is a console stream in text mode, with CR LF line ends.
    for (const char c : read_file(err_path))
        if (c != '\r')
            result.err += c;
    return result;
}
#else
ProcessResult run_program(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd)
{
    TempDir capture;
    const fs::path out_path = capture / "stdout";
    const fs::path err_path = capture / "stderr";

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
            _exit(127);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        setenv("TESSALOOM_HEADLESS", "1", 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);

    ProcessResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}
#endif

ProcessResult run_tessaloom(const std::vector<std::string>& args, const fs::path& cwd)
{
    return run_program(TESSALOOM_EXE, args, cwd);
}

ProcessResult run_tessaloom_view(const std::vector<std::string>& args, const fs::path& cwd)
{
    return run_program(TESSALOOM_VIEW_EXE, args, cwd);
}

std::string fatal_text(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FatalError& e) {
        return e.what();
    }
    return "(no error)";
}
