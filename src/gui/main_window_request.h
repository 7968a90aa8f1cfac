#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/settings.h"
#include "gui/window_layout.h"

// What the main window does between a click on "OBJ[EX] to ZOBJ" (or a drop)
// and the start of the conversion process: check the edit boxes, ask for the
// files, build the command line. Kept apart from any toolkit so that all of
// it can be tested; the desktop face supplies the dialogs through
// RequestFace.

// What the controls hold when the request starts.
struct WindowChoices {
    std::array<bool, kCheckBoxCount> checked{};  // in creation order
    std::string scale_text = "1024";
    std::string offset_text = "0x0";
};

// A file dialog: its title and one filter.
struct FileDialog {
    std::string title;
    std::string filter_name;  // "OBJ[EX] Files (.obj, .objex)"
    std::string patterns;     // "*.obj;*.objex"
};

// The parts of the desktop that a request uses.
class RequestFace {
public:
    virtual ~RequestFace() = default;
    virtual void message(const std::string& title, const std::string& text, MessageIcon icon) = 0;
    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> open_file(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> save_file(const FileDialog& dialog) = 0;
    // Starts the program with these arguments (the first is the program
    // itself) and returns at once.
    virtual void start_program(const std::vector<std::string>& args) = 0;
};

// The main window's own state, alive as long as the window.
struct MainWindowState {
    std::string program_path;
    // Set while a request is being prepared; every command and drop is
    // ignored meanwhile.
    bool dialog_busy = false;
    // Only base_offset and scale are used: they are stored from the edit
    // boxes before they go into the command line.
    Settings settings;
    std::string command_buffer;  // the last command line built
};

// A checked edit box: the value, or the message that refuses the text.
struct OffsetCheck {
    uint32_t base_offset = 0;
    std::string message;  // empty when the text is fine
};
struct ScaleCheck {
    float scale = 0;
    std::string message;
};

// The edit boxes are read up to this many characters.
constexpr size_t kEditBoxTextLimit = 31;

OffsetCheck check_base_offset(const std::string& text);
ScaleCheck check_scale(const std::string& text);

// The chosen output name with the extension of what is written: an
// extension of the file name itself is replaced, ".h" for the C array,
// else ".zobj".
std::string output_name_with_extension(const std::string& name, bool embed_c);

// The conversion command line, each piece followed by one blank:
// "PROGRAM" object "IN" "OUT" switches... -o %08X -s %f
std::string build_command_line(const std::string& program_path, const std::string& input_path,
                               const std::string& output_path, const std::array<bool, kCheckBoxCount>& checked,
                               uint32_t base_offset, float scale);

// Splits a command line into arguments by the quoting rules that
// build_command_line writes for: blanks separate arguments outside double
// quotes; 2n backslashes before a quote stand for n and the quote delimits,
// 2n+1 stand for n and a literal quote; other backslashes are literal.
std::vector<std::string> split_command_line(const std::string& command_line);

// Runs one request from its checks to the start of the conversion. With
// `dropped_file` the input is that file and no open dialog is shown.
// Does nothing while a request is already being prepared.
void run_conversion_request(RequestFace& face, MainWindowState& state, const WindowChoices& choices,
                            const std::optional<std::string>& dropped_file);

// The line under the buttons, chosen once per window from the time.
std::string random_line(std::time_t seed);

// The text of the "About" box: name, version, build date and credits.
std::string about_text();
