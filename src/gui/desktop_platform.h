#pragma once

#include "base/platform.h"

// The desktop face: message boxes, the main window, the log window, the file
// dialogs and the clipboard through FLTK on X11. It is built as a module of
// its own, loaded only when a window may be shown, so that a conversion from
// the command line never pays for loading the toolkit and the X libraries;
// the core library and its tests never touch the toolkit.

// The module's file name, looked for beside the executable.
constexpr const char* desktop_module_name = "tessaloom-desktop.so";

// The module's one entry point, by this name: a new desktop platform that
// the caller owns, or null when no X display can be opened, so that the
// caller falls back to the headless face instead of the toolkit ending the
// process.
constexpr const char* desktop_entry_name = "tessaloom_desktop_platform";
extern "C" __attribute__((visibility("default"))) Platform* tessaloom_desktop_platform();
