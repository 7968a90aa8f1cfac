#include "support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/messages.h"

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tessaloom-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

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
