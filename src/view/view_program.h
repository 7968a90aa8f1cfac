#pragma once

#include <string>
#include <vector>

// tessaloom-view: reads an object and its header, checks every item, and
// writes a listing and/or a picture. Returns the exit code; every fault is
// reported on standard error as "Error: ..." with exit code 1.
int run_view(const std::vector<std::string>& args);

std::string view_usage_text(const std::string& program);
