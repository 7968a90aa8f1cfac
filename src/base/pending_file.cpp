#include "base/pending_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <utility>

#include "base/messages.h"

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file(std::exchange(other.file, nullptr)),
      temp_path(std::move(other.temp_path)),
      final_path(std::move(other.final_path))
{
    other.temp_path.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept
{
    if (this != &other) {
        discard_pending_file(*this);
        file = std::exchange(other.file, nullptr);
        temp_path = std::move(other.temp_path);
        final_path = std::move(other.final_path);
        other.temp_path.clear();
    }
    return *this;
}

PendingFile::~PendingFile()
{
    discard_pending_file(*this);
}

// Moves `from` over `to`. On Windows rename() refuses an existing
// destination, so the move is asked to replace it.
static bool replace_file(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

PendingFile open_pending_file(const std::string& path, const char* failure_format)
{
    PendingFile pending;
    pending.final_path = path;
    std::string pattern = path + ".partial-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        fatal_error(failure_format, path.c_str());
    pending.temp_path = pattern;
#ifndef _WIN32
    // mkstemp makes the file private; give it the mode a plain fopen would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
#endif
    pending.file = fdopen(fd, "w+b");
    if (pending.file == nullptr) {
        close(fd);
        fatal_error(failure_format, path.c_str());
    }
    return pending;
}

void commit_pending_file(PendingFile& pending)
{
    if (pending.temp_path.empty())
        return;
    const bool written = pending.file != nullptr && std::fflush(pending.file) == 0 &&
                         std::ferror(pending.file) == 0;
    if (pending.file != nullptr)
        std::fclose(pending.file);
    pending.file = nullptr;
    if (!written || !replace_file(pending.temp_path, pending.final_path)) {
        std::remove(pending.temp_path.c_str());
        pending.temp_path.clear();
        fatal_error("Couldn't write '%s'!", pending.final_path.c_str());
    }
    pending.temp_path.clear();
}

void discard_pending_file(PendingFile& pending)
{
    if (pending.file != nullptr)
        std::fclose(pending.file);
    pending.file = nullptr;
    if (!pending.temp_path.empty())
        std::remove(pending.temp_path.c_str());
    pending.temp_path.clear();
}
