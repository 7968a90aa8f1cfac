#include "platform/windows_platform.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

void use_binary_standard_output()
{
    _setmode(_fileno(stdout), _O_BINARY);
}
