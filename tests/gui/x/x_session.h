#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A private X server (Xvfb) and what a test does on it: find windows by
// title, click, type, read the clipboard, drop a file, take a picture.
// There is no window manager: top-level windows are children of the root,
// and keys go to the window under the pointer.
class XSession {
public:
    // Starts Xvfb; `available()` is false when it cannot be started.
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool available() const { return display_ != nullptr; }
    const std::string& display_name() const { return name_; }
    Display* display() const { return display_; }

    // The viewable top-level window with this title, waiting up to `timeout`.
    std::optional<Window> find_window(const std::string& title,
                                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Waits until no viewable window has this title.
    bool wait_gone(const std::string& title, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    std::string title_of(Window window);

    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    Geometry geometry(Window window);

    // Input, at client coordinates of `window`.
    void move(Window window, int x, int y);
    void click(Window window, int x, int y);
    void key(const std::string& keysym_name, bool control = false);
    void type(const std::string& text);  // unshifted characters only
    // Replaces the text of the edit box at (x, y) of `window`.
    void replace_text(Window window, int x, int y, const std::string& text);
    // Presses Return in the message box with this title and waits until it goes.
    bool dismiss(const std::string& title);

    // The CLIPBOARD text as its owner serves it (UTF8_STRING).
    std::optional<std::string> clipboard();

    // Drops `uri_list` (text/uri-list) at (x, y) of `window` through XDND.
    bool drop(Window window, int x, int y, const std::string& uri_list);

    // Writes the window's pixels to a PNG file.
    bool screenshot(Window window, const std::filesystem::path& png);

private:
    void sync();
    pid_t server_ = -1;
    std::string name_;
    Display* display_ = nullptr;
    Window own_ = 0;  // for selections
};

// Polls `done` every 20 ms until it holds or `timeout` passes.
bool poll_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
