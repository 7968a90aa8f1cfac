#include "base/messages.h"

#include <cstdarg>
#include <vector>

#include "base/platform.h"
#include "base/temporary_file.h"

static std::string vformat(const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n <= 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void fatal_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    throw FatalError(text);
}

void show_warning(Platform& platform, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    platform.message_box("Warning", text, MessageIcon::Warning);
}

LogStream::~LogStream()
{
    // A stream that is still pending was never completed: its file goes.
    if (!pending.temp_path.empty()) {
        file = nullptr;
        discard_pending_file(pending);
    }
    close_log(*this);
}

void open_log(LogStream& log, const std::string* path, bool when_complete)
{
    close_log(log);
    if (path != nullptr && when_complete) {
        log.pending = open_pending_file(*path, "Couldn't open '%s'!");
        log.file = log.pending.file;
    } else if (path != nullptr) {
        log.file = std::fopen(path->c_str(), "w+b");
        if (log.file == nullptr)
            fatal_error("Couldn't open '%s'!", path->c_str());
    } else {
        log.file = open_anonymous_temporary_file();
    }
}

std::FILE* get_log_stream(LogStream& log)
{
    return log.file;
}

void close_log(LogStream& log)
{
    if (!log.pending.temp_path.empty()) {
        log.file = nullptr;
        commit_pending_file(log.pending);
    }
    if (log.file != nullptr) {
        std::fclose(log.file);
        log.file = nullptr;
    }
}

void log_printf(LogStream& log, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    if (log.echo != nullptr)
        std::fwrite(text.data(), 1, text.size(), log.echo);
    if (log.file != nullptr)
        std::fwrite(text.data(), 1, text.size(), log.file);
}

std::optional<std::string> read_log_text(LogStream& log)
{
    if (log.file == nullptr)
        return std::nullopt;
    // The stream is only ever appended to from its start, so the current
    // position is the number of bytes written.
    const long n = std::ftell(log.file);
    if (n <= 0)
        return std::nullopt;
    std::string text(static_cast<size_t>(n), '\0');
    std::fseek(log.file, 0, SEEK_SET);
    const size_t got = std::fread(text.data(), 1, text.size(), log.file);
    text.resize(got);
    std::fseek(log.file, 0, SEEK_END);
    return text;
}
