#pragma once

#include "base/messages.h"
#include "base/out_buffer.h"
#include "base/settings.h"

class Platform;

// What one conversion shares across its stages: the settings, the log
// stream, the pointer positions and the platform. The driver owns it and
// passes it down, so a test can run any number of conversions in one
// process. The Model, with its material table, is kept apart, and each
// stage keeps its own working storage.
struct Context {
    explicit Context(Platform& platform_) : platform(platform_) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Platform& platform;
    Settings settings;
    LogStream log;
    PointerPositions pointer_positions;
};
