#pragma once

#include "base/context.h"
#include "driver/command_line.h"

// Runs one conversion with the parsed command line: opens the log, runs the
// stages in their fixed order, then shows the result. Returns the exit code.
int run_conversion(Context& ctx, const CommandLine& command_line);

// The whole process: the main window with fewer than three arguments after
// the program, else a conversion. Fatal errors are shown here. Returns the
// exit code.
int run_program(Platform& platform, const std::vector<std::string>& args);
