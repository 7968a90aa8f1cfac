#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "base/platform.h"
#include "gui/main_window_request.h"

// The Win32 platform, shared by the files of the Win32 face. The main window
// is the face that its requests use (it owns their message boxes); the
// dialogs, boxes and process start live here.
class Win32Platform : public Platform {
public:
    // `test_dialogs`: the answers that the open and the save dialog give
    // instead of showing themselves (TESSALOOM_TEST_DIALOGS, "OPEN\nSAVE",
    // an empty answer cancels).
    explicit Win32Platform(std::optional<std::string> test_dialogs) : test_dialogs_(std::move(test_dialogs)) {}

    // A box without an owner.
    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    int run_main_window(const std::string& program_path) override;
    int run_log_window(const std::string& log_text) override;

    // A box owned by `owner` (null: none). The same line as the headless
    // face prints goes to standard error first.
    void owned_message_box(HWND owner, const std::string& title, const std::string& text, MessageIcon icon);
    // The open or the save dialog: the chosen path, or nothing when cancelled.
    std::optional<std::string> file_dialog(const FileDialog& dialog, bool save);
    // Starts this executable with `command_line` (whose first piece names
    // the program) in a new process, without waiting for it.
    void start_process(const std::string& command_line);

private:
    std::optional<std::string> test_dialogs_;
};

// Registers a window class with the style both windows share. True when the
// class is there (also when it was registered before).
bool register_window_class(const char* name, WNDPROC procedure);

// The window procedure of a window whose object `W` came as the creation
// parameter: messages go to W::handle once the object is known.
template <typename W>
LRESULT CALLBACK object_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    W* object = reinterpret_cast<W*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (object == nullptr)
        return DefWindowProcA(window, message, wparam, lparam);
    return object->handle(window, message, wparam, lparam);
}

// Runs the message loop until WM_QUIT and returns its exit code.
int run_message_loop();
