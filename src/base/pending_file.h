#pragma once

#include <cstdio>
#include <string>

// A file that appears under its name only once it is complete: it is written
// to a temporary file in the same folder and renamed over the destination by
// commit_pending_file(). Dropped without a commit, the temporary file goes and
// whatever stood at the destination is left untouched.
struct PendingFile {
    std::FILE* file = nullptr;
    std::string temp_path;
    std::string final_path;

    PendingFile() = default;
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();
};

// Creates the temporary file beside `path`, open for reading and writing in
// binary mode. Fatal, naming `path` in `failure_format`, when it cannot be
// created.
PendingFile open_pending_file(const std::string& path, const char* failure_format = "Couldn't create '%s'!");

// Closes the file and moves it to its destination. Fatal when that fails.
void commit_pending_file(PendingFile& pending);

// Closes and removes the temporary file, if any.
void discard_pending_file(PendingFile& pending);
