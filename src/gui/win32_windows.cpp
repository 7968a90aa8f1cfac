// The main window and the log window, built from the control tables.
#include "gui/win32_platform.h"

#include <shellapi.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "base/messages.h"
#include "gui/window_layout.h"
#include "gui/window_text.h"

namespace {

constexpr const char* kMainWindowClass = "tessaloom";
constexpr const char* kLogWindowClass = "tessaloom output";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

HWND create_control(HWND parent, const Control& control, const char* text)
{
    const char* window_class = "BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (control.kind) {
    case ControlKind::CheckBox:
        // Plain: the window toggles it on each click.
        style |= BS_CHECKBOX;
        break;
    case ControlKind::Label:
        window_class = "STATIC";
        break;
    case ControlKind::EditBox:
        window_class = "EDIT";
        style |= WS_BORDER | ES_AUTOHSCROLL;
        break;
    case ControlKind::Button:
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::TextBox:
        window_class = "EDIT";
        style |= WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
        break;
    }
    HWND child = CreateWindowExA(0, window_class, text, style, control.x, control.y, control.width, control.height,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                 GetModuleHandleA(nullptr), nullptr);
    // The log reads best in a fixed font; the rest in the desktop's own.
    const int font = control.kind == ControlKind::TextBox ? ANSI_FIXED_FONT : DEFAULT_GUI_FONT;
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(font)), FALSE);
    return child;
}

std::string window_text(HWND window)
{
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1);
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

bool is_check_box(int id)
{
    for (size_t i = 0; i < kCheckBoxCount; ++i)
        if (kMainWindowControls[i].id == id)
            return true;
    return false;
}

// The first file of a drop, which is released here. A path of any length.
std::string first_dropped_file(HDROP drop)
{
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    std::vector<char> path(length + 1);
    if (length > 0)
        DragQueryFileA(drop, 0, path.data(), length + 1);
    DragFinish(drop);
    return path.data();
}

class MainWindow : public RequestFace {
public:
    MainWindow(Win32Platform& platform, const std::string& program_path) : platform_(platform)
    {
        state_.program_path = program_path;
    }

    LRESULT handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        switch (message) {
        case WM_CREATE:
            window_ = window;
            create_controls();
            return 0;
        case WM_COMMAND:
            if (!state_.dialog_busy && HIWORD(wparam) == BN_CLICKED)
                command(LOWORD(wparam));
            return 0;
        case WM_DROPFILES: {
            const HDROP drop = reinterpret_cast<HDROP>(wparam);
            if (state_.dialog_busy) {
                DragFinish(drop);
                return 0;
            }
            const std::string path = first_dropped_file(drop);
            if (!path.empty())
                request(path);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
        }
    }

    // What a request shows: the instructions belong to the window, the
    // refusals of the edit boxes stand alone.
    void message(const std::string& title, const std::string& text, MessageIcon icon) override
    {
        platform_.owned_message_box(title == "Instructions" ? window_ : nullptr, title, text, icon);
    }
    std::optional<std::string> open_file(const FileDialog& dialog) override
    {
        return platform_.file_dialog(dialog, false);
    }
    std::optional<std::string> save_file(const FileDialog& dialog) override
    {
        return platform_.file_dialog(dialog, true);
    }
    // The command line goes to the new process as built; `args` is what it
    // splits into.
    void start_program(const std::vector<std::string>&) override { platform_.start_process(state_.command_buffer); }

private:
    void create_controls()
    {
        const std::string line = random_line(std::time(nullptr));
        for (const Control& control : kMainWindowControls) {
            HWND child = create_control(window_, control, control.text ? control.text : line.c_str());
            if (control.kind == ControlKind::EditBox)
                SendMessageA(child, EM_SETLIMITTEXT, kEditBoxTextLimit, 0);
        }
    }

    void command(int id)
    {
        if (is_check_box(id)) {
            CheckDlgButton(window_, id, IsDlgButtonChecked(window_, id) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            return;
        }
        switch (id) {
        case kIdConvert:
            request(std::nullopt);
            break;
        case kIdAbout:
            platform_.owned_message_box(window_, "About", about_text(), MessageIcon::Information);
            break;
        case kIdExit:
            DestroyWindow(window_);
            break;
        }
    }

    void request(const std::optional<std::string>& dropped_file)
    {
        WindowChoices choices;
        for (size_t i = 0; i < kCheckBoxCount; ++i)
            choices.checked[i] = IsDlgButtonChecked(window_, kMainWindowControls[i].id) == BST_CHECKED;
        choices.scale_text = window_text(GetDlgItem(window_, kIdScale));
        choices.offset_text = window_text(GetDlgItem(window_, kIdOffset));
        run_conversion_request(*this, state_, choices, dropped_file);
    }

    Win32Platform& platform_;
    MainWindowState state_;
    HWND window_ = nullptr;
};

// Copies the log's bytes, its terminating zero included, to the clipboard
// as plain text. False when the clipboard did not take them.
bool copy_to_clipboard(const std::string& text)
{
    const size_t size = std::strlen(text.c_str()) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr)
        return false;
    void* bytes = GlobalLock(block);
    if (bytes == nullptr) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(bytes, text.c_str(), size);
    GlobalUnlock(block);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    const bool taken = SetClipboardData(CF_TEXT, block) != nullptr;
    CloseClipboard();
    // The block belongs to the clipboard only once it has taken it.
    if (!taken)
        GlobalFree(block);
    return taken;
}

class LogWindow {
public:
    LogWindow(Win32Platform& platform, const std::string& log_text) : platform_(platform), log_text_(log_text) {}

    LRESULT handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        switch (message) {
        case WM_CREATE: {
            const std::string shown = log_edit_box_text(log_text_);
            for (const Control& control : kLogWindowControls)
                create_control(window, control, control.text ? control.text : shown.c_str());
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wparam) == BN_CLICKED)
                command(window, LOWORD(wparam));
            return 0;
        case WM_DROPFILES:
            // Accepted, as by the main window, but nothing to do with it.
            DragFinish(reinterpret_cast<HDROP>(wparam));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
        }
    }

private:
    void command(HWND window, int id)
    {
        switch (id) {
        case kIdAbout:  // "Copy to clipboard"
            if (copy_to_clipboard(log_text_))
                platform_.owned_message_box(window, "Message", "Log successfully copied to clipboard!",
                                            MessageIcon::Information);
            else
                platform_.owned_message_box(window, "Message", "Couldn't copy the log to the clipboard!",
                                            MessageIcon::Warning);
            break;
        case kIdExit:  // "Done"
            DestroyWindow(window);
            break;
        }
    }

    Win32Platform& platform_;
    std::string log_text_;
};

}  // namespace

int Win32Platform::run_main_window(const std::string& program_path)
{
    MainWindow main_window(*this, program_path);
    if (!register_window_class(kMainWindowClass, object_window_procedure<MainWindow>))
        fatal_error("Couldn't open the main window!");
    HWND window = CreateWindowExA(WS_EX_ACCEPTFILES, kMainWindowClass, kMainWindowTitle, kWindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), &main_window);
    if (window == nullptr)
        fatal_error("Couldn't open the main window!");
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return run_message_loop();
}

int Win32Platform::run_log_window(const std::string& log_text)
{
    LogWindow log_window(*this, log_text);
    // Without its window the process would wait for a quit that nothing
    // sends: the conversion is done, so it ends.
    if (!register_window_class(kLogWindowClass, object_window_procedure<LogWindow>))
        return 0;
    // A conversion process has no main window to own its log window.
    HWND window = CreateWindowExA(WS_EX_ACCEPTFILES, kLogWindowClass, kLogWindowTitle, kWindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, kLogWindowWidth, kLogWindowHeight, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), &log_window);
    if (window == nullptr)
        return 0;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return run_message_loop();
}
