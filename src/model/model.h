#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/out_buffer.h"

// The in-memory model: what the readers fill, the preparation stages change
// and the emitters read. Counts are the vectors' sizes; every index into them
// is 16 bits wide (8 bits for bones), and the readers stop before a vector
// grows past what those indices can address.

// Marks an index the face line did not give (the file's 1-based 0xFFFF minus one).
inline constexpr uint16_t absent_index = 0xFFFE;
// A vertex, limb or bone that belongs to no bone.
inline constexpr uint8_t no_bone = 0xFF;
// A material without a texture.
inline constexpr uint16_t no_texture = 0xFFFF;

// The data model's limits. The record growth rule reaches 61445 and would
// then wrap, which bounds positions, normals and texture coordinates.
inline constexpr size_t max_vertex_records = 61444;
inline constexpr size_t max_triangles = 65535;
inline constexpr size_t max_groups = 65535;
inline constexpr size_t max_materials = 65535;
inline constexpr size_t max_textures = 65535;
inline constexpr size_t max_bones = 255;
inline constexpr size_t max_animations = 65535;

// Triangle kinds.
inline constexpr uint8_t triangle_drawn = 0;
inline constexpr uint8_t triangle_hidden = 1;       // hidden by the UV overflow fix
inline constexpr uint8_t triangle_placeholder = 2;  // stands in for a limb without triangles

struct Vertex {
    double x = 0, y = 0, z = 0;  // scaled and rounded: whole numbers held in doubles
    uint8_t bone = no_bone;
    uint32_t line = 0;  // the geometry file's line that gave it (1-based; 0 when unknown), for messages
};

struct Normal {
    float x = 0, y = 0, z = 0;
};

struct TexCoord {
    float u = 0, v = 0;  // v is stored as 1 - the file's value
};

struct Triangle {
    std::array<uint16_t, 3> position{};
    std::array<uint16_t, 3> normal{absent_index, absent_index, absent_index};
    std::array<uint16_t, 3> texcoord{absent_index, absent_index, absent_index};
    uint16_t material = 0;
    uint16_t group = 0;
    uint8_t kind = triangle_drawn;
};

struct Group {
    std::string name;
    uint8_t collision = 0;
    float pos_x = 0, pos_y = 0, pos_z = 0;  // from "POS(" in the name, already scaled
    uint32_t display_list = 0;              // offset of the group's list once assembled
};

struct Bone {
    int16_t x = 0, y = 0, z = 0;  // relative to the parent, model units
    uint16_t flags = 0;
    uint32_t display_list = 0;
    uint8_t first_child = no_bone;
    uint8_t next_sibling = no_bone;
    uint8_t parent = no_bone;  // an index at or above the bone count means none
    uint8_t limb_index = no_bone;
    int16_t abs_x = 0, abs_y = 0, abs_z = 0;  // model space
    std::string name;
};

struct Skeleton {
    std::vector<Bone> bones;
};

struct Animation {
    std::vector<std::array<int16_t, 3>> translations;  // one per frame
    std::vector<std::array<float, 3>> rotations;       // frame-major, one per frame and bone
    uint16_t frame_count = 0;
    std::string name;
};

// Bits of Texture::name_flags.
inline constexpr uint8_t texture_force_rgba16 = 0x01;
inline constexpr uint8_t texture_skip = 0x02;

// One distinct image of the model.
struct Texture {
    std::string path;
    std::vector<uint8_t> pixels;  // RGBA, 4 bytes a pixel, rows top to bottom
    uint8_t format = 255;         // 0 RGBA, 2 CI, 3 IA, 4 I; 255 until converted
    uint8_t bit_size = 255;       // 0 4-bit, 1 8-bit, 2 16-bit; 255 until converted
    uint8_t has_alpha = 0;
    uint8_t is_uniform = 0;
    uint8_t name_flags = 0;
    uint16_t palette_size = 0;
    uint32_t offset = 0;
    uint32_t data_size = 0;
    uint32_t force_address = 0xFFFFFFFF;
    uint32_t palette_offset = 0;
    uint32_t bank_address = 0xFFFFFFFF;
    int32_t palette_slot = -1;
    uint32_t cull_mode = 0x400;
    float width = 0, height = 0;
    uint16_t out_width = 0, out_height = 0;
    uint8_t mirror_s = 0, mirror_t = 0;
    uint32_t average_colour = 0;  // 0xRRGGBBAA
    uint16_t base_width = 0, base_height = 0;
    // How many times each side was halved to fit texture memory; the tile's
    // shift fields scale the coordinates, which count texels of the full
    // image, back by as much.
    uint8_t shift_s = 0, shift_t = 0;

    bool operator==(const Texture&) const = default;
};

struct TextureSlot {
    uint16_t wrap_u = 0;  // 0 wrap, 1 clamp, 2 mirror
    uint16_t wrap_v = 0;
};

// Bits of Material::flags.
inline constexpr uint8_t material_no_fog = 0x01;
inline constexpr uint8_t material_env_colour = 0x02;
inline constexpr uint8_t material_texgen_mask = 0x0C;  // texture-coordinate generation mode << 2
inline constexpr uint8_t material_no_aa = 0x10;
inline constexpr uint8_t material_nodal = 0x20;
inline constexpr uint8_t material_combiner_textures_mask = 0xC0;  // count << 6

struct Material {
    float r = 1.0f, g = 1.0f, b = 1.0f;
    float alpha = 1.0f;
    std::string name;
    uint8_t flags = 0;
    float scale_s = 1.0f, scale_t = 1.0f;
    std::array<TextureSlot, 2> slots{};
    std::array<std::string, 2> combiner_texture;
    // Colour-combiner inputs: cycle 1 colour a-d, alpha a-d, cycle 2 colour a-d, alpha a-d.
    std::array<uint8_t, 16> combiner{};
    uint16_t texture = no_texture;
    uint8_t decal = 0;
    uint8_t unlit = 0;
    uint32_t geometry_mode = 0x400;  // back-face culling unless the name holds NOCULL
    float tex_width_f = 0, tex_height_f = 0;
    uint16_t tex_width = 0, tex_height = 0;
    OutBuffer material_commands;  // built once, on first use
};

// Where the model's textures are found by the content of their pixels, so
// that sharing an image costs one look-up, not a pass over every texture.
// It follows the model's texture table and indexes textures added since the
// last look-up; a table that shrank (a new model) is indexed anew.
struct TextureIndex {
    std::unordered_multimap<uint64_t, uint16_t> by_hash;
    size_t indexed = 0;
};

struct Model {
    std::vector<Vertex> vertices;
    std::vector<Normal> normals;
    std::vector<TexCoord> texcoords;
    std::vector<Triangle> triangles;
    std::vector<Animation> animations;
    std::vector<Skeleton> skeletons;
    std::vector<Group> groups;
    std::vector<Texture> textures;
    TextureIndex texture_index;
    // Every material of every library the geometry file named, in reading order.
    std::vector<Material> material_table;
    // Index of each group's first triangle, in the order the groups were made.
    // The limb split appends entries and may mark one as moved.
    std::vector<uint32_t> group_starts;
    // Groups the geometry file produced; the limb groups follow them.
    uint16_t file_group_count = 0;
};

// Marks a group_starts entry whose triangles were moved into limb groups. The
// mark stands above the 16 bits of a triangle index, so a group that starts
// beyond triangle 32767 is not taken for a moved one.
inline constexpr uint32_t group_start_moved = 0x80000000;

// Stops the conversion when a table already holds `limit` records, naming
// what and the file being read, so no 16-bit count or index can wrap.
void ensure_room(size_t count, size_t limit, const char* what, const std::string& file);

// The record growth rule of positions, normals and texture coordinates:
// 0, 1, 2, 4, 7, 11, 17, ...
uint16_t next_record_capacity(uint16_t capacity);

// Appenders that follow the growth rule and the limits; `file` names the
// source in the limit message.
void add_vertex(Model& model, const Vertex& vertex, const std::string& file);
void add_normal(Model& model, const Normal& normal, const std::string& file);
void add_texcoord(Model& model, const TexCoord& texcoord, const std::string& file);
void add_triangle(Model& model, const Triangle& triangle, const std::string& file);
// Appends the group and its group_starts entry (the current triangle count).
void add_group(Model& model, Group group, const std::string& file);
