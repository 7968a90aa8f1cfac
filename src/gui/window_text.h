#pragma once

#include <optional>
#include <string>

// The log window shows the header text with its CR LF line ends as plain
// line ends (a text box would draw the CR as a box) and copies the text's
// own bytes, CR LF included.

// The text as the log window's text box shows it: every CR that ends a line
// (and any other CR) is left out.
std::string log_display_text(const std::string& log_text);


// The local path of the first file in a drop: the first line of the dropped
// text, a file:// URI with %XX escapes or a plain path. Nothing when the
// drop names no file.
std::optional<std::string> first_dropped_path(const std::string& dropped_text);
