#include "gui/desktop_platform.h"
#include "gui/desktop_face.h"
#include "gui/window_text.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>
// Xlib's None would hide MessageIcon::None.
#undef None

#include <cstdio>
#include <cstdlib>

Platform* tessaloom_desktop_platform()
{
    // The toolkit ends the process when it cannot open the display; look
    // first, and let the caller choose the headless face instead.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return nullptr;
    fl_open_display(display);
    const char* test_dialogs = std::getenv("TESSALOOM_TEST_DIALOGS");
    return new DesktopPlatform(test_dialogs ? std::optional<std::string>(test_dialogs) : std::nullopt);
}

DesktopPlatform::DesktopPlatform(std::optional<std::string> test_dialogs) : test_dialogs_(std::move(test_dialogs))
{
    Fl::scheme("gtk+");
    // Message boxes answer with "OK", as the converter's messages expect.
    fl_close = "OK";
}

void DesktopPlatform::message_box(const std::string& title, const std::string& text, MessageIcon icon)
{
    // The same line as the headless face prints, so that a terminal (and a
    // test) sees every message.
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);

    fl_message_title(title.c_str());
    Fl_Widget* symbol = fl_message_icon();
    if (icon == MessageIcon::None)
        symbol->hide();
    if (icon == MessageIcon::Warning)
        fl_alert("%s", text.c_str());
    else
        fl_message("%s", text.c_str());
    symbol->show();
}

std::optional<std::string> DesktopPlatform::open_file(const FileDialog& dialog)
{
    return file_dialog(dialog, false);
}

std::optional<std::string> DesktopPlatform::save_file(const FileDialog& dialog)
{
    return file_dialog(dialog, true);
}

std::optional<std::string> DesktopPlatform::file_dialog(const FileDialog& dialog, bool save)
{
    if (test_dialogs_)
        return test_dialog_answer(*test_dialogs_, save);

    // The toolkit's filter: "Name\t*.{a,b}".
    std::string patterns = dialog.patterns;
    std::string filter = dialog.filter_name + "\t";
    if (patterns.find(';') != std::string::npos) {
        std::string list;
        size_t start = 0;
        while (start <= patterns.size()) {
            size_t end = patterns.find(';', start);
            if (end == std::string::npos)
                end = patterns.size();
            std::string one = patterns.substr(start, end - start);
            if (one.compare(0, 2, "*.") == 0)
                one = one.substr(2);
            list += (list.empty() ? "" : ",") + one;
            start = end + 1;
        }
        filter += "*.{" + list + "}";
    } else {
        filter += patterns;
    }

    Fl_Native_File_Chooser chooser;
    chooser.title(dialog.title.c_str());
    chooser.type(save ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE : Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.filter(filter.c_str());
    if (chooser.show() != 0 || chooser.filename() == nullptr || chooser.filename()[0] == '\0')
        return std::nullopt;
    return std::string(chooser.filename());
}

void DesktopPlatform::start_program(const std::vector<std::string>& args)
{
    if (args.empty())
        return;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // Started twice removed, so that the conversion belongs to init and the
    // window never waits for it nor leaves it behind as a zombie. The same
    // executable is started whatever the first argument says.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execv("/proc/self/exe", argv.data());
            execvp(argv[0], argv.data());
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}
