#include "x/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

using namespace std::chrono_literals;

bool poll_until(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

XSession::XSession()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    server_ = fork();
    if (server_ == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        // -noreset: without it the server may restart between clients and
        // refuse a connection now and then.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp", "-screen", "0",
               "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (server_ < 0) {
        close(fds[0]);
        return;
    }
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty())
        return;
    name_ = ":" + number;
    // Windows come and go while the tests look at them; a request about one
    // that has just gone is no failure.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    display_ = XOpenDisplay(name_.c_str());
    if (display_ != nullptr)
        own_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
}

XSession::~XSession()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);
    if (server_ > 0) {
        kill(server_, SIGTERM);
        waitpid(server_, nullptr, 0);
    }
}

void XSession::sync()
{
    XSync(display_, False);
}

std::string XSession::title_of(Window window)
{
    char* name = nullptr;
    std::string title;
    if (XFetchName(display_, window, &name) && name != nullptr)
        title = name;
    if (name != nullptr)
        XFree(name);
    return title;
}

static std::vector<Window> viewable_children(Display* display)
{
    Window root_return, parent;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count))
        return result;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            result.push_back(children[i]);
    }
    if (children != nullptr)
        XFree(children);
    return result;
}

std::optional<Window> XSession::find_window(const std::string& title, std::chrono::milliseconds timeout)
{
    std::optional<Window> found;
    poll_until(
        [&] {
            for (const Window w : viewable_children(display_))
                if (title_of(w) == title) {
                    found = w;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

bool XSession::wait_gone(const std::string& title, std::chrono::milliseconds timeout)
{
    return poll_until(
        [&] {
            for (const Window w : viewable_children(display_))
                if (title_of(w) == title)
                    return false;
            return true;
        },
        timeout);
}

XSession::Geometry XSession::geometry(Window window)
{
    XWindowAttributes a{};
    XGetWindowAttributes(display_, window, &a);
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return {x, y, a.width, a.height};
}

void XSession::move(Window window, int x, int y)
{
    const Geometry g = geometry(window);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), g.x + x, g.y + y, CurrentTime);
    sync();
}

void XSession::click(Window window, int x, int y)
{
    move(window, x, y);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    sync();
}

void XSession::key(const std::string& keysym_name, bool control)
{
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym_name.c_str()));
    const KeyCode ctrl = XKeysymToKeycode(display_, XK_Control_L);
    if (control)
        XTestFakeKeyEvent(display_, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(display_, ctrl, False, CurrentTime);
    sync();
}

void XSession::type(const std::string& text)
{
    for (const char c : text) {
        const KeyCode code = XKeysymToKeycode(display_, static_cast<KeySym>(static_cast<unsigned char>(c)));
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
    }
    sync();
}

void XSession::replace_text(Window window, int x, int y, const std::string& text)
{
    click(window, x, y);
    key("a", true);  // select all
    key("BackSpace");
    type(text);
}

// Waits for an event of `type` for `window`, up to `timeout`.
static bool next_event(Display* display, Window window, int type, XEvent& event,
                       std::chrono::milliseconds timeout = 2000ms)
{
    return poll_until(
        [&] {
            while (XPending(display)) {
                XNextEvent(display, &event);
                if (event.type == type && event.xany.window == window)
                    return true;
            }
            return false;
        },
        timeout);
}

bool XSession::dismiss(const std::string& title)
{
    const std::optional<Window> box = find_window(title);
    if (!box)
        return false;
    // The toolkit shows every message in the same window, so the box is
    // done with once it is unmapped, even if the next message maps it again
    // at once.
    XSelectInput(display_, *box, StructureNotifyMask);
    const Geometry g = geometry(*box);
    move(*box, g.width / 2, g.height / 3);
    // A box that has only just appeared may not take keys yet: press again
    // until it goes.
    XEvent event;
    for (int attempt = 0; attempt < 20; ++attempt) {
        key("Return");
        if (next_event(display_, *box, UnmapNotify, event, 250ms))
            return true;
    }
    return false;
}

std::optional<std::string> XSession::clipboard()
{
    const Atom clipboard = XInternAtom(display_, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    const Atom property = XInternAtom(display_, "TESSALOOM_CLIP", False);
    XConvertSelection(display_, clipboard, utf8, property, own_, CurrentTime);
    XFlush(display_);
    XEvent event;
    if (!next_event(display_, own_, SelectionNotify, event) || event.xselection.property == 0)
        return std::nullopt;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, own_, property, 0, 1 << 24, True, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return std::nullopt;
    std::string text(reinterpret_cast<char*>(data), count);
    XFree(data);
    return text;
}

bool XSession::drop(Window target, int x, int y, const std::string& uri_list)
{
    auto atom = [&](const char* name) { return XInternAtom(display_, name, False); };
    const Atom selection = atom("XdndSelection"), uri_type = atom("text/uri-list");
    XSetSelectionOwner(display_, selection, own_, CurrentTime);

    auto send = [&](const char* message, long l1, long l2, long l3, long l4) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = atom(message);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(own_);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(display_, target, False, NoEventMask, &e);
        XFlush(display_);
    };
    const Geometry g = geometry(target);
    move(target, x, y);
    // Version 4, one type given in the message itself.
    send("XdndEnter", 4L << 24, static_cast<long>(uri_type), 0, 0);
    send("XdndPosition", 0, ((g.x + x) << 16) | (g.y + y), CurrentTime, static_cast<long>(atom("XdndActionCopy")));
    XEvent event;
    if (!next_event(display_, own_, ClientMessage, event) || event.xclient.message_type != atom("XdndStatus") ||
        (event.xclient.data.l[1] & 1) == 0) {
        std::fprintf(stderr, "drop: the window did not accept it\n");
        return false;
    }
    send("XdndDrop", 0, CurrentTime, 0, 0);

    // The target asks for the data; it says it is done only after acting on
    // it, which here means after the request's dialogs.
    const bool asked = poll_until(
        [&] {
            while (XPending(display_)) {
                XNextEvent(display_, &event);
                if (event.type == SelectionRequest) {
                    const XSelectionRequestEvent& r = event.xselectionrequest;
                    XChangeProperty(display_, r.requestor, r.property, r.target, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(uri_list.data()),
                                    static_cast<int>(uri_list.size()));
                    XEvent reply{};
                    reply.xselection.type = SelectionNotify;
                    reply.xselection.requestor = r.requestor;
                    reply.xselection.selection = r.selection;
                    reply.xselection.target = r.target;
                    reply.xselection.property = r.property;
                    reply.xselection.time = r.time;
                    XSendEvent(display_, r.requestor, False, NoEventMask, &reply);
                    XFlush(display_);
                    return true;
                }
            }
            return false;
        },
        3000ms);
    if (!asked)
        std::fprintf(stderr, "drop: accepted, but the data was never asked for\n");
    return asked;
}

bool XSession::screenshot(Window window, const std::filesystem::path& png)
{
    const Geometry g = geometry(window);
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(g.width), static_cast<unsigned>(g.height),
                              AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    std::vector<unsigned char> rgb;
    rgb.reserve(static_cast<size_t>(g.width) * static_cast<size_t>(g.height) * 3);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            rgb.push_back(static_cast<unsigned char>((pixel & image->red_mask) >> 16));
            rgb.push_back(static_cast<unsigned char>((pixel & image->green_mask) >> 8));
            rgb.push_back(static_cast<unsigned char>(pixel & image->blue_mask));
        }
    XDestroyImage(image);
    return stbi_write_png(png.c_str(), g.width, g.height, 3, rgb.data(), g.width * 3) != 0;
}
