# The Windows build, included by CMakeLists.txt under the MinGW-w64 toolchain
# (cmake/mingw-w64.cmake): tessaloom.exe and the unit tests, which CTest runs
# under Wine. There is no FLTK for MinGW: the desktop face is left out.
find_package(Threads REQUIRED)
# M_PI and its kin, which MinGW's math.h shows only on request.
add_compile_definitions(_USE_MATH_DEFINES)

file(GLOB_RECURSE CORE_SOURCES CONFIGURE_DEPENDS src/*.cpp)
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/driver/main\\.cpp$")
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/view/.*")
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/gui/desktop_[^/]*\\.cpp$")
list(FILTER CORE_SOURCES EXCLUDE REGEX ".*/src/gui/win32_[^/]*\\.cpp$")
add_library(tessaloom_core STATIC ${CORE_SOURCES})
target_include_directories(tessaloom_core PUBLIC src)
# Debian's stb headers, as system headers so that their warnings stay quiet.
target_include_directories(tessaloom_core SYSTEM PUBLIC /usr/include/stb)
target_link_libraries(tessaloom_core PUBLIC Threads::Threads)

# The Win32 face goes into the executable only, as the desktop face does on
# Linux; the manifest (src/driver/tessaloom.rc) makes UTF-8 the program's
# code page.
enable_language(RC)
file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS src/gui/win32_*.cpp)
add_library(tessaloom_win32 STATIC ${WIN32_SOURCES})
target_link_libraries(tessaloom_win32 PUBLIC tessaloom_core comdlg32 shell32 gdi32)

add_executable(tessaloom src/driver/main.cpp src/driver/tessaloom.rc)
target_link_libraries(tessaloom PRIVATE tessaloom_core tessaloom_win32)
target_link_options(tessaloom PRIVATE -mwindows)

# Tests: the unit tests built with GoogleTest from Debian's sources, and the
# comparison of the Windows executable's output with the Linux one's
# (TESSALOOM_LINUX_EXE). All run under Wine with the prefix and the home
# folder inside this build tree, one wine server kept alive by a fixture, no
# debugger (a crash fails its test) and no desktop menu entries.
enable_testing()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The tests that need an X server or the viewer stay with the Linux build,
# the window probe is a program of its own;
# the others run the Windows executable where they run a program.
file(GLOB_RECURSE TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
list(FILTER TEST_SOURCES EXCLUDE REGEX ".*/tests/gui/x/.*")
list(FILTER TEST_SOURCES EXCLUDE REGEX ".*/tests/windows/.*")
list(FILTER TEST_SOURCES EXCLUDE REGEX ".*/tests/view/.*")
add_executable(tessaloom_tests ${TEST_SOURCES})
target_include_directories(tessaloom_tests PRIVATE tests)
# GCC 12 sees a string append in the tests at -O3 as an overlapping copy.
target_compile_options(tessaloom_tests PRIVATE -Wno-restrict)
target_link_libraries(tessaloom_tests PRIVATE tessaloom_core GTest::gtest GTest::gtest_main)
target_compile_definitions(tessaloom_tests PRIVATE
  TESSALOOM_EXE="$<TARGET_FILE:tessaloom>"
  TESSALOOM_VIEW_EXE="$<TARGET_FILE_DIR:tessaloom>/tessaloom-view.exe"
  TESSALOOM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(tessaloom_tests tessaloom)

set(WINE_ENVIRONMENT
  WINEDEBUG=-all
  WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix
  HOME=${CMAKE_BINARY_DIR}/wine-home
  WINEDLLOVERRIDES=winemenubuilder.exe,winedbg.exe=d)
add_test(NAME wine_server COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/wine_setup.sh)
set_tests_properties(wine_server PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${WINE_ENVIRONMENT}")

# The listing of the tests runs before any fixture, so the emulator itself
# carries the environment.
set_target_properties(tessaloom_tests PROPERTIES CROSSCOMPILING_EMULATOR "env;${WINE_ENVIRONMENT};wine")
include(GoogleTest)
gtest_discover_tests(tessaloom_tests
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENVIRONMENT}")

set(TESSALOOM_LINUX_EXE "" CACHE FILEPATH "The Linux tessaloom whose output the Windows one must match")
add_test(NAME same_bytes_as_linux
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/same_bytes.sh
    "${TESSALOOM_LINUX_EXE}" $<TARGET_FILE:tessaloom> ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/same-bytes)
set_tests_properties(same_bytes_as_linux PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENVIRONMENT}" SKIP_RETURN_CODE 77)

# The windows under Wine on a private X server, looked at from a Windows
# program (Wine draws the controls inside its own X windows); skipped when
# Xvfb is missing.
add_executable(window_probe tests/windows/window_probe.cpp)
target_include_directories(window_probe PRIVATE src)
add_test(NAME window_session
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/window_session.sh
    $<TARGET_FILE:tessaloom> $<TARGET_FILE:window_probe> ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/window-session)
set_tests_properties(window_session PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENVIRONMENT}" SKIP_RETURN_CODE 77)
