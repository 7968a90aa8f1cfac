#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#include <cstring>
#include <string>

#include "base/temporary_file.h"

namespace {

// The file reads back what was written; on Windows it lies in the user's
// temporary folder (not the drive's root) and is gone once closed.
TEST(TemporaryFile, ReadsBackAndGoesWhenClosed)
{
    std::FILE* file = open_anonymous_temporary_file();
    ASSERT_NE(file, nullptr);
    const std::string text = "a\r\nb\n";
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
    std::rewind(file);
    char back[16] = {};
    EXPECT_EQ(std::fread(back, 1, sizeof back, file), text.size());
    EXPECT_EQ(std::string(back, text.size()), text);
#ifdef _WIN32
    char path[MAX_PATH] = "", folder[MAX_PATH] = "", long_folder[MAX_PATH] = "";
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    ASSERT_GT(GetFinalPathNameByHandleA(handle, path, MAX_PATH, FILE_NAME_NORMALIZED), 0u);
    GetTempPathA(MAX_PATH, folder);
    GetLongPathNameA(folder, long_folder, MAX_PATH);
    std::string name = path;
    if (name.rfind("\\\\?\\", 0) == 0)
        name = name.substr(4);
    EXPECT_EQ(_strnicmp(name.c_str(), long_folder, std::strlen(long_folder)), 0) << name << " in " << long_folder;
    std::fclose(file);
    EXPECT_EQ(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES) << name;
#else
    std::fclose(file);
#endif
}

}  // namespace
