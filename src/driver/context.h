#pragma once

#include <vector>

#include "collision/collision_mesh.h"
#include "dlist/display_list.h"
#include "driver/messages.h"
#include "driver/settings.h"
#include "model/model.h"
#include "output/out_buffer.h"

class Platform;

// What one conversion shares across its stages: the settings, the material
// table, the log stream, the pointer positions and the stages' scratch
// storage. The driver owns it and passes it down, so a test can run any
// number of conversions in one process. The Model is kept apart.
struct Context {
    explicit Context(Platform& platform_) : platform(platform_) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Platform& platform;
    Settings settings;
    std::vector<Material> material_table;
    LogStream log;
    PointerPositions pointer_positions;
    // Scratch storage of the stages follows, one member per stage.
    DisplayListScratch display_list;
    CollisionScratch collision;
};
