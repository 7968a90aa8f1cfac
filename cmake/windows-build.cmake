# The Windows build, included by CMakeLists.txt under the MinGW-w64 toolchain
# (cmake/mingw-w64.cmake): tessaloom.exe and the unit tests, which CTest runs
# under Wine. There is no FLTK and no stb library for MinGW: the desktop face
# is left out and stb is compiled in (src/image/windows_stb.cpp).
find_package(Threads REQUIRED)

file(GLOB_RECURSE CORE_SOURCES CONFIGURE_DEPENDS src/*.cpp)
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/driver/main\\.cpp$")
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/view/.*")
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/gui/desktop_[^/]*\\.cpp$")
add_library(tessaloom_core STATIC ${CORE_SOURCES})
target_include_directories(tessaloom_core PUBLIC src)
# Debian's stb headers, as system headers so that their warnings stay quiet.
target_include_directories(tessaloom_core SYSTEM PUBLIC /usr/include/stb)
target_link_libraries(tessaloom_core PUBLIC Threads::Threads)

add_executable(tessaloom src/driver/main.cpp)
target_link_libraries(tessaloom PRIVATE tessaloom_core)
