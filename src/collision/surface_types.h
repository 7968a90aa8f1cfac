#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

// The game's collision polygons carry a surface type: two words of bit fields
// (footstep sound, floor and wall behaviour, exits, camera, echo, lighting,
// conveyors) plus flags on the polygon's corners. Users pick them with
// keywords in the material name, e.g. ground.SOUND_GRASS.FLOOR_ICE.

// Corner flags of the first polygon corner.
inline constexpr uint16_t corner_ignore_camera = 0x2000;
inline constexpr uint16_t corner_ignore_entity = 0x4000;
inline constexpr uint16_t corner_ignore_ammo = 0x8000;
// Flag of the second corner that marks a conveyor.
inline constexpr uint16_t corner_conveyor = 0x2000;

struct SurfaceType {
    bool water = false;  // triangles of this type become water boxes, not polygons
    uint32_t word0 = 0;
    uint32_t word1 = 0;
    uint16_t corner1_flags = 0;
    uint16_t corner2_flags = 0;
    uint16_t corner3_flags = 0;  // always 0

    bool operator==(const SurfaceType&) const = default;
};

struct SurfaceTypeHash {
    size_t operator()(const SurfaceType& type) const;
};

// The surface types of one collision group, in order of first use; equal
// types share one entry. `index` finds an entry without walking the list.
struct SurfaceTypeList {
    std::vector<SurfaceType> types;
    std::unordered_map<SurfaceType, uint16_t, SurfaceTypeHash> index;
};

void clear_surface_types(SurfaceTypeList& list);

// The surface type that the keywords of `name` (a material name) describe.
// Stops with "Collision type '%s' incomplete arguments!" or the conveyor speed
// message, naming the token.
SurfaceType parse_surface_type(std::string_view name);

// The keywords of the surface type table, in its order: a prefix keyword
// matches a token that begins with it (its arguments follow), any other one
// a whole token.
struct SurfaceKeywordWord {
    std::string_view text;
    bool prefix = false;
};
std::vector<SurfaceKeywordWord> surface_keyword_words();

// The index in `list` of the type that `name` describes, appending it when new.
uint16_t classify_surface(std::string_view name, SurfaceTypeList& list);
