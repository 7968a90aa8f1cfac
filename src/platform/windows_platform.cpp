#include "platform/windows_platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

// True when the stream has a handle to write to.
static bool has_handle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

void prepare_standard_streams()
{
    // A windows program started from a console gets no standard handles of
    // its own unless they were redirected: the missing ones go to the
    // console it was started from, when there is one.
    const bool out = has_handle(STD_OUTPUT_HANDLE);
    const bool err = has_handle(STD_ERROR_HANDLE);
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    }
    _setmode(_fileno(stdout), _O_BINARY);
}
