#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#ifndef TESSALOOM_FUZZ_ASSETS
#error "TESSALOOM_FUZZ_ASSETS must name the folder of the harnesses' fixed files"
#endif

// The folder goes when the process ends normally; a crash leaves it for a look.
static std::string folder_to_remove;

static void remove_fuzz_folder()
{
    std::error_code error;
    std::filesystem::remove_all(folder_to_remove, error);
}

const std::string& fuzz_folder()
{
    static const std::string folder = [] {
        // Memory-backed when the machine has it: inputs are written every run.
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/tessaloom-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make the fuzz folder");
        for (const auto& entry : std::filesystem::directory_iterator(TESSALOOM_FUZZ_ASSETS))
            std::filesystem::copy_file(entry.path(), pattern + "/" + entry.path().filename().string());
        folder_to_remove = pattern;
        std::atexit(remove_fuzz_folder);
        // Conversions announce success on standard output; nobody reads it here.
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            throw std::runtime_error("cannot silence standard output");
        return pattern + "/";
    }();
    return folder;
}

std::string write_fuzz_input(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = fuzz_folder() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}
