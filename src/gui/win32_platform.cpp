#include "gui/win32_platform.h"

#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gui/win32_face.h"
#include "gui/window_text.h"

std::unique_ptr<Platform> make_win32_platform()
{
    const char* test_dialogs = std::getenv("TESSALOOM_TEST_DIALOGS");
    return std::make_unique<Win32Platform>(test_dialogs ? std::optional<std::string>(test_dialogs) : std::nullopt);
}

static UINT icon_flags(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::None:
        break;
    }
    return 0;
}

void Win32Platform::message_box(const std::string& title, const std::string& text, MessageIcon icon)
{
    owned_message_box(nullptr, title, text, icon);
}

void Win32Platform::owned_message_box(HWND owner, const std::string& title, const std::string& text,
                                      MessageIcon icon)
{
    // A console (and a test) sees every message as a line too.
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | icon_flags(icon));
}

std::optional<std::string> Win32Platform::file_dialog(const FileDialog& dialog, bool save)
{
    if (test_dialogs_)
        return test_dialog_answer(*test_dialogs_, save);

    // "Name\0patterns\0\0".
    std::string filter = dialog.filter_name;
    filter += '\0';
    filter += dialog.patterns;
    filter += '\0';
    char path[260] = "";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.lpstrFilter = filter.c_str();  // c_str() adds the second zero
    request.lpstrFile = path;
    request.nMaxFile = sizeof path;
    request.lpstrTitle = dialog.title.c_str();
    // The name to save under need not exist yet: it is a new object file
    // (and gets its extension replaced afterwards anyway).
    request.Flags = save ? OFN_PATHMUSTEXIST : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
    if (!chosen || path[0] == '\0')
        return std::nullopt;
    return std::string(path);
}

// The path of this executable, so that the conversion runs the same program
// whatever the command line's first piece says; empty if it cannot be had.
static std::string executable_path()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size())
            return std::string(path.data(), length);
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

void Win32Platform::start_process(const std::string& command_line)
{
    const std::string program = executable_path();
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // Not waited for: the window stays ready for the next conversion.
    if (CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

bool register_window_class(const char* name, WNDPROC procedure)
{
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
    window_class.lpszClassName = name;
    return RegisterClassExA(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

int run_message_loop()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return 0;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
