#include "base/temporary_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>


std::FILE* open_anonymous_temporary_file()
{
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > sizeof folder)
        return nullptr;
    // GetTempFileNameA makes the file (so the name is ours); it is opened
    // again to be deleted on close.
    char name[MAX_PATH];
    if (GetTempFileNameA(folder, "tsl", 0, name) == 0)
        return nullptr;
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "w+b");
    if (file == nullptr)
        _close(fd);
    return file;
}

#else

std::FILE* open_anonymous_temporary_file()
{
    return std::tmpfile();
}

#endif
