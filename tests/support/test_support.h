#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct ProcessResult {
    int exit_code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the program at `exe` headless in `cwd` with the arguments after the
// program name.
ProcessResult run_program(const std::string& exe, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd);

// The real tessaloom executable, and the viewer beside it.
ProcessResult run_tessaloom(const std::vector<std::string>& args, const std::filesystem::path& cwd);
ProcessResult run_tessaloom_view(const std::vector<std::string>& args, const std::filesystem::path& cwd);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
std::vector<std::filesystem::path> list_files(const std::filesystem::path& dir);

// The message of the fatal error that `action` stops with, or "(no error)".
std::string fatal_text(const std::function<void()>& action);
