#pragma once

#include <cstdio>

// An anonymous temporary file, open for reading and writing in binary mode,
// that goes when it is closed or the process ends. Null when none can be made.
// On Windows it lies in the user's temporary folder (the C runtime's own
// tmpfile() makes it in the root of the drive, where a user may not write).
std::FILE* open_anonymous_temporary_file();
