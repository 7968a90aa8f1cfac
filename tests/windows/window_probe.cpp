// Drives tessaloom.exe's windows from inside Windows (Wine draws the controls
// into its own X windows, so they are looked at through the Windows API):
// the main window's class, size and controls against the control tables, a
// conversion through the file dialogs (answered by TESSALOOM_TEST_DIALOGS)
// that ends in the log window, whose text box is read and whose text is
// copied to the clipboard, then both windows closed with exit code 0.
//
// Usage: window_probe EXE MODEL OUTPUT_NAME  (in the folder the files go to)
// Writes log_box.txt (the log window's text) and clipboard.txt; prints each
// fault, then "faults: N", and exits with N.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "gui/window_layout.h"

namespace {

int faults = 0;

void check(bool ok, const std::string& what)
{
    if (!ok) {
        std::printf("FAULT: %s\n", what.c_str());
        ++faults;
    }
}

// Polls every 20 ms for up to 20 s.
template <typename F>
bool wait_for(F done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done())
            return true;
        Sleep(20);
    }
    return false;
}

// The window once shown: it is found as soon as it exists, before its
// controls are made.
HWND find(const char* window_class, const char* title)
{
    HWND found = nullptr;
    wait_for([&] { return (found = FindWindowA(window_class, title)) != nullptr && IsWindowVisible(found); });
    return found;
}

// Asked of the control itself: GetWindowTextA does not ask a window of
// another process.
std::string text_of(HWND window)
{
    const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(static_cast<size_t>(length) + 1);
    SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::string class_of(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Presses OK in the next message box with this title and waits until it goes.
void dismiss(const char* title)
{
    HWND box = find("#32770", title);
    check(box != nullptr, std::string("a message box titled ") + title);
    if (box == nullptr)
        return;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    check(wait_for([&] { return !IsWindow(box); }), std::string("the box ") + title + " goes");
}

// The window's outer size is the table's; its client area is what its frame leaves.
void check_window(HWND window, const char* name, int width, int height)
{
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    check(outer.right - outer.left == width && outer.bottom - outer.top == height, std::string(name) + " size");
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG ex_style = GetWindowLongA(window, GWL_EXSTYLE);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(ex_style));
    check(client.right == width - (frame.right - frame.left) && client.bottom == height - (frame.bottom - frame.top),
          std::string(name) + " client size");
    check((style & (WS_CAPTION | WS_SYSMENU)) == (WS_CAPTION | WS_SYSMENU) &&
              (style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) == 0,
          std::string(name) + " style");
    check((ex_style & WS_EX_ACCEPTFILES) != 0, std::string(name) + " accepts files");
    check(GetClassLongA(window, GCL_STYLE) == CS_DBLCLKS, std::string(name) + " class style");
}

// Every control of the table, found by its place, with its class, text,
// identifier and kind; and no other.
template <size_t N>
void check_controls(HWND window, const char* name, const std::array<Control, N>& table,
                    const std::set<std::string>& free_texts)
{
    std::vector<HWND> children;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    check(children.size() == N, std::string(name) + " control count");
    for (const Control& c : table) {
        const std::string what = std::string(name) + " control at " + std::to_string(c.x) + "," + std::to_string(c.y);
        HWND found = nullptr;
        for (HWND child : children) {
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            if (r.left == c.x && r.top == c.y && r.right - r.left == c.width && r.bottom - r.top == c.height)
                found = child;
        }
        check(found != nullptr, what);
        if (found == nullptr)
            continue;
        // An edit box takes WS_BORDER out of its style and draws the border
        // itself, so its border cannot be seen from here.
        const LONG style = GetWindowLongA(found, GWL_STYLE);
        const std::string kind = class_of(found);
        bool kind_ok = false;
        switch (c.kind) {
        case ControlKind::CheckBox:
            kind_ok = _stricmp(kind.c_str(), "Button") == 0 && (style & BS_TYPEMASK) == BS_CHECKBOX;
            break;
        case ControlKind::Button:
            kind_ok = _stricmp(kind.c_str(), "Button") == 0 && (style & BS_TYPEMASK) == BS_PUSHBUTTON;
            break;
        case ControlKind::Label:
            kind_ok = _stricmp(kind.c_str(), "Static") == 0;
            break;
        case ControlKind::EditBox:
            kind_ok = _stricmp(kind.c_str(), "Edit") == 0 && !(style & ES_MULTILINE);
            break;
        case ControlKind::TextBox:
            kind_ok = _stricmp(kind.c_str(), "Edit") == 0 && (style & WS_VSCROLL) &&
                      (style & ES_MULTILINE) && (style & ES_READONLY);
            break;
        }
        check(kind_ok, what + " kind (" + kind + ")");
        check(GetDlgCtrlID(found) == c.id, what + " identifier");
        if (c.text)
            check(text_of(found) == c.text, what + " text '" + text_of(found) + "'");
        else if (!free_texts.empty())
            check(free_texts.count(text_of(found)) == 1, what + " text '" + text_of(found) + "'");
    }
}

void write_file(const char* name, const std::string& text)
{
    std::ofstream(name, std::ios::binary) << text;
}

// Waits for the process to end and checks its exit code.
void check_exit(HANDLE process, const char* name)
{
    DWORD code = 1;
    check(WaitForSingleObject(process, 20000) == WAIT_OBJECT_0, std::string(name) + " ends");
    GetExitCodeProcess(process, &code);
    check(code == 0, std::string(name) + " exit code " + std::to_string(code));
    CloseHandle(process);
}

// Ends every process that still shows one of the program's windows or a
// message box, so that a failed run leaves nothing waiting on the desktop.
void end_leftovers()
{
    EnumWindows(
        [](HWND window, LPARAM) {
            const std::string name = class_of(window);
            if (name == "tessaloom" || name == "tessaloom output" || name == "#32770") {
                DWORD id = 0;
                GetWindowThreadProcessId(window, &id);
                if (id != GetCurrentProcessId()) {
                    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
                        TerminateProcess(process, 1);
                        CloseHandle(process);
                    }
                }
            }
            return TRUE;
        },
        0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::printf("usage: window_probe EXE MODEL OUTPUT_NAME\n");
        return 2;
    }
    const std::string answers = std::string(argv[2]) + "\n" + argv[3];
    SetEnvironmentVariableA("TESSALOOM_TEST_DIALOGS", answers.c_str());
    SetEnvironmentVariableA("TESSALOOM_HEADLESS", nullptr);
    std::string line = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION main_process{};
    if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &main_process)) {
        std::printf("FAULT: cannot start %s\n", argv[1]);
        return 1;
    }
    CloseHandle(main_process.hThread);

    HWND main_window = find("tessaloom", "tessaloom");
    check(main_window != nullptr, "the main window opens");
    if (main_window == nullptr) {
        TerminateProcess(main_process.hProcess, 1);
        end_leftovers();
        std::printf("faults: %d\n", faults);
        return faults;
    }
    check_window(main_window, "main window", kMainWindowWidth, kMainWindowHeight);
    check_controls(main_window, "main window", kMainWindowControls,
                   {"No leaks, please.", "No nude mods, please.", "No bad play-as, please.", "No DAE files, please.",
                    "No capes, please.", "No MP3/OGG imports, please.", "No 3DS Max, please."});

    // "Link hierarchy format" on, "Fix UV overflows" on and off again.
    for (const int id : {1010, 1020, 1020})
        SendMessageA(GetDlgItem(main_window, id), BM_CLICK, 0, 0);
    check(IsDlgButtonChecked(main_window, 1010) == BST_CHECKED && IsDlgButtonChecked(main_window, 1020) == BST_UNCHECKED,
          "checkboxes toggle on each click");

    PostMessageA(GetDlgItem(main_window, kIdConvert), BM_CLICK, 0, 0);
    dismiss("Instructions");
    dismiss("Instructions");

    HWND log_window = find("tessaloom output", "tessaloom output");
    check(log_window != nullptr, "the log window opens");
    if (log_window != nullptr) {
        DWORD id = 0;
        GetWindowThreadProcessId(log_window, &id);
        HANDLE conversion = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        check_window(log_window, "log window", kLogWindowWidth, kLogWindowHeight);
        check_controls(log_window, "log window", kLogWindowControls, {});
        const std::string shown = text_of(GetDlgItem(log_window, 1007));
        write_file("log_box.txt", shown);

        PostMessageA(GetDlgItem(log_window, 3), BM_CLICK, 0, 0);
        dismiss("Message");
        std::string copied;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_TEXT)) {
                if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
                    copied = bytes;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
        }
        write_file("clipboard.txt", copied);
        check(!copied.empty() && copied == shown, "the clipboard holds the log window's text");

        PostMessageA(GetDlgItem(log_window, kIdExit), BM_CLICK, 0, 0);
        if (conversion != nullptr)
            check_exit(conversion, "the conversion");
    }

    PostMessageA(main_window, WM_CLOSE, 0, 0);
    check_exit(main_process.hProcess, "the main window");
    end_leftovers();
    // Also printed: run inside a Wine desktop, the exit code is the desktop's.
    std::printf("faults: %d\n", faults);
    return faults;
}
