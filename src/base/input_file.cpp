#include "base/input_file.h"

#include <sys/stat.h>

#include <cstdio>

bool read_input_file(const std::string& path, std::string& bytes)
{
    bytes.clear();

    // Refuse anything but a regular file of bounded size before opening it:
    // opening a pipe blocks, and a device may never run dry.
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) > max_input_file_bytes)
        return false;

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes.reserve(static_cast<size_t>(info.st_size));

    // The file may still grow while it is read: the limit holds for what is
    // read, not only for what stat reported.
    char buffer[65536];
    size_t got;
    bool within = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes.size() + got > max_input_file_bytes) {
            within = false;
            break;
        }
        bytes.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0 || !within;
    std::fclose(file);
    if (failed) {
        bytes.clear();
        bytes.shrink_to_fit();
        return false;
    }
    return true;
}
