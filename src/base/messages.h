#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/pending_file.h"

class Platform;

// Marks a function that formats with printf rules. MinGW formats with its
// own C99 printf (the C runtime's lacks %zu), which GCC checks as gnu_printf.
#ifdef __MINGW32__
#define PRINTF_FORMAT(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define PRINTF_FORMAT(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#endif

// The one error type. fatal_error() throws it; main() shows its message in a
// box titled "Error" and exits with code 1.
class FatalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Formats with printf rules (any length) and throws FatalError.
[[noreturn]] void fatal_error(const char* format, ...) PRINTF_FORMAT(1, 2);

// Formats with printf rules and shows a box titled "Warning"; the run goes on.
void show_warning(Platform& platform, const char* format, ...) PRINTF_FORMAT(2, 3);

// printf into a std::string, whatever the length.
std::string format_text(const char* format, ...) PRINTF_FORMAT(1, 2);

// The stream that receives the header text. Everything written through
// log_printf() goes to `echo` (standard output) and, once open, to `file`.
struct LogStream {
    std::FILE* file = nullptr;
    std::FILE* echo = stdout;
    // Set when the stream is the output itself (the C array), which only
    // takes its name once complete.
    PendingFile pending;

    LogStream() = default;
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;
    ~LogStream();
};

// Opens the log on `path` (created or cut to zero, read and write, binary), or
// on an anonymous temporary file when there is no path. A path that cannot be
// opened is fatal; a temporary file that cannot be made leaves the log absent.
// With `when_complete` the file at `path` is replaced only by close_log(), so
// a conversion that fails leaves it untouched (and leaves no temporary file).
void open_log(LogStream& log, const std::string* path, bool when_complete = false);

// The open stream, or null.
std::FILE* get_log_stream(LogStream& log);

// Closes the stream (moving a stream opened `when_complete` into place);
// later writes go to `echo` only.
void close_log(LogStream& log);

// Writes the formatted text to `echo` and then to the open stream. Adds no line end.
void log_printf(LogStream& log, const char* format, ...) PRINTF_FORMAT(2, 3);

// Everything written to the stream so far, or nothing when the stream is
// absent or still empty. The stream stays open.
std::optional<std::string> read_log_text(LogStream& log);
