#pragma once

#include <memory>

#include "base/platform.h"

// The desktop face: message boxes, the main window, the log window, the file
// dialogs and the clipboard through FLTK on X11. Built into the executable
// only; the core library and its tests never touch the toolkit.
//
// Null when no X display can be opened, so that the caller falls back to
// the headless face instead of the toolkit ending the process.
std::unique_ptr<Platform> make_desktop_platform();
