#pragma once

#include <memory>

#include "base/platform.h"

// The Win32 face: message boxes, the main window, the log window, the file
// dialogs, the clipboard and the start of conversion processes through the
// Windows API. Built into the Windows executable only.
std::unique_ptr<Platform> make_win32_platform();
