#pragma once

#include <optional>
#include <string>

// The log window shows the header text with its CR LF line ends as plain
// line ends (a text box would draw the CR as a box) and copies the text's
// own bytes, CR LF included.

// The text as the log window's text box shows it: every CR that ends a line
// (and any other CR) is left out.
std::string log_display_text(const std::string& log_text);

// The text as a Win32 edit box shows it: every line ends in CR LF (a lone LF
// gets its CR), since the box breaks lines only there.
std::string log_edit_box_text(const std::string& log_text);

// The local path of the first file in a drop: the first line of the dropped
// text, a file:// URI with %XX escapes or a plain path. Nothing when the
// drop names no file.
std::optional<std::string> first_dropped_path(const std::string& dropped_text);

// The answer of one file dialog under the test hook TESSALOOM_TEST_DIALOGS:
// `answers` is "OPEN\nSAVE", `save` picks the second line. Nothing (the
// dialog was cancelled) when that answer is empty or missing.
std::optional<std::string> test_dialog_answer(const std::string& answers, bool save);
