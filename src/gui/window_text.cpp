#include "gui/window_text.h"

std::string log_display_text(const std::string& log_text)
{
    std::string shown;
    shown.reserve(log_text.size());
    for (const char c : log_text)
        if (c != '\r')
            shown += c;
    return shown;
}

std::string log_edit_box_text(const std::string& log_text)
{
    std::string shown;
    shown.reserve(log_text.size() + log_text.size() / 16);
    for (size_t i = 0; i < log_text.size(); ++i) {
        if (log_text[i] == '\n' && (i == 0 || log_text[i - 1] != '\r'))
            shown += '\r';
        shown += log_text[i];
    }
    return shown;
}

std::optional<std::string> test_dialog_answer(const std::string& answers, bool save)
{
    const size_t newline = answers.find('\n');
    std::string chosen;
    if (!save)
        chosen = answers.substr(0, newline);
    else if (newline != std::string::npos)
        chosen = answers.substr(newline + 1);
    if (chosen.empty())
        return std::nullopt;
    return chosen;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> first_dropped_path(const std::string& dropped_text)
{
    std::string line = dropped_text.substr(0, dropped_text.find_first_of("\r\n"));
    const std::string scheme = "file://";
    if (line.compare(0, scheme.size(), scheme) == 0) {
        // file:///path or file://localhost/path: the path starts at the third slash.
        const size_t path_start = line.find('/', scheme.size());
        if (path_start == std::string::npos)
            return std::nullopt;
        std::string path;
        for (size_t i = path_start; i < line.size(); ++i) {
            if (line[i] == '%' && i + 2 < line.size() && hex_digit(line[i + 1]) >= 0 && hex_digit(line[i + 2]) >= 0) {
                path += static_cast<char>(hex_digit(line[i + 1]) * 16 + hex_digit(line[i + 2]));
                i += 2;
            } else {
                path += line[i];
            }
        }
        line = path;
    }
    if (line.empty())
        return std::nullopt;
    return line;
}
