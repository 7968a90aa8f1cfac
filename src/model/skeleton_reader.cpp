#include "model/skeleton_reader.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/messages.h"
#include "model/model.h"
#include "model/prepare_text.h"
#include "model/text_scan.h"

namespace {

struct SkeletonReader {
    SkeletonReader(Model& model_, const std::string& shown_, float scale_) : model(model_), shown(shown_), scale(scale_)
    {
        depth_stack.fill(0xFF);
    }

    Model& model;
    const std::string& shown;  // the file, as messages name it
    float scale;               // bracketed positions only

    // The bones the current block announced; the block is the last skeleton.
    size_t announced = 0;

    // Bracketed form. Neither is reset between blocks: a block that leaves
    // bones open hands its depth to the next one.
    uint8_t depth = 0xFF;                  // the first push takes it to 0
    std::array<uint8_t, 256> depth_stack;  // per depth: index + 1 of the bone last opened there

    // Plain form, per block.
    size_t next_bone = 0;  // the bone the next "b" line fills
    int level = 0;         // 0 at the "total" line, +1 per '+' line, -1 per '-' line
    std::unordered_map<int, uint8_t> last_at_level;  // the bone last read at each level
};

}  // namespace

[[noreturn]] static void parse_error(const SkeletonReader& r, const char* line)
{
    fatal_error("Error parsing line: '%s' of '%s'", line, r.shown.c_str());
}

static bool in_block(const SkeletonReader& r)
{
    return !r.model.skeletons.empty();
}

// Everything a bone or hierarchy line acts on belongs to a block.
static void require_block(const SkeletonReader& r, const char* line, const char* what, const char* block_word)
{
    if (!in_block(r))
        fatal_error("%s line '%s' of '%s' comes before the first '%s' line", what, line, r.shown.c_str(), block_word);
}

// The bone count of a "limbs" or "total" line, from `p` on: a skeleton holds
// at most 255 bones, since bone indices are one byte with 0xFF for none.
static size_t read_bone_total(const SkeletonReader& r, const char* line, const char* p)
{
    int total = 0;
    if (!scan_int(p, total))
        parse_error(r, line);
    if (total < 0 || static_cast<size_t>(total) > max_bones)
        fatal_error("Skeleton line '%s' of '%s' announces %d bones; a skeleton holds 0 to %zu", line, r.shown.c_str(),
                    total, max_bones);
    return static_cast<size_t>(total);
}

static void require_room(const SkeletonReader& r, size_t bone, const char* line)
{
    if (bone >= r.announced)
        fatal_error("Bone line '%s' of '%s' is one more than the %zu bones its block announces", line, r.shown.c_str(),
                    r.announced);
}

// A position in whole model units, truncated toward zero; it must fit the
// 16 bits of a limb record.
static int16_t bone_coordinate(const SkeletonReader& r, float value, const char* line)
{
    const double whole = std::trunc(static_cast<double>(value));
    if (!(whole >= -32768.0 && whole <= 32767.0))
        fatal_error("Bone position %.0f in line '%s' of '%s' lies outside the 16-bit range (-32768 to 32767)", whole,
                    line, r.shown.c_str());
    return static_cast<int16_t>(whole);
}

// Three finite numbers, each after optional white space.
static bool scan_position(const char*& p, std::array<float, 3>& abc)
{
    for (float& c : abc)
        if (!scan_float(p, c) || !std::isfinite(c))
            return false;
    return true;
}

// "%X": a hexadecimal number as the C library reads it (sign and 0x allowed).
static bool scan_hex(const char*& p, uint32_t& value)
{
    unsigned int read = 0;
    int consumed = 0;
    if (std::sscanf(p, "%X%n", &read, &consumed) != 1)
        return false;
    p += consumed;
    value = read;
    return true;
}

// ---- Bracketed form ---------------------------------------------------------
// limbs 3
// + "root" {0 0 0}
//  + "spine" {0 0 0.5}
//  -
// -

// "limbs N" anywhere in the line starts a block of N bones.
static void start_bracketed_block(SkeletonReader& r, const char* line, const char* limbs)
{
    r.announced = read_bone_total(r, line, limbs + 5);
    r.model.skeletons.emplace_back();
    r.model.skeletons.back().bones.reserve(r.announced);
}

// A push line: '+', one character, the name in double quotes, one
// character, then the position in braces. The name and the position are
// found at fixed distances from the '+', so a name may hold '-' or '+'.
static void open_bracketed_bone(SkeletonReader& r, const char* line, size_t length, const char* plus)
{
    require_block(r, line, "Bone", "limbs");
    std::vector<Bone>& bones = r.model.skeletons.back().bones;
    require_room(r, bones.size(), line);
    ++r.depth;

    const size_t at = static_cast<size_t>(plus - line);
    if (at + 2 >= length || line[at + 2] != '"')
        parse_error(r, line);
    const char* name = line + at + 3;
    const char* close = static_cast<const char*>(std::memchr(name, '"', length - (at + 3)));
    if (close == nullptr)
        parse_error(r, line);

    // The brace stands one character after the closing quote.
    const size_t brace = static_cast<size_t>(close - line) + 2;
    if (brace >= length)
        parse_error(r, line);
    const char* p = line + brace;
    std::array<float, 3> abc{};
    if (!scan_literal(p, '{') || !scan_position(p, abc))
        parse_error(r, line);

    // The file's second axis points into the screen: it becomes -z, and its
    // third axis becomes y.
    Bone bone;
    bone.name.assign(name, close);
    bone.x = bone_coordinate(r, abc[0] * r.scale, line);
    bone.y = bone_coordinate(r, abc[2] * r.scale, line);
    bone.z = bone_coordinate(r, -(abc[1] * r.scale), line);
    bone.flags = 0xFFFF;

    // The parent is the bone last opened one level up; a level where no bone
    // was opened yet makes a root.
    const uint8_t above = r.depth_stack[static_cast<uint8_t>(r.depth - 1)];
    bone.parent = above == 0xFF ? no_bone : static_cast<uint8_t>(above - 1);

    bones.push_back(std::move(bone));
    r.depth_stack[r.depth] = static_cast<uint8_t>(bones.size());
}

static void read_bracketed_line(SkeletonReader& r, const char* line, size_t length)
{
    if (const char* limbs = std::strstr(line, "limbs"))
        start_bracketed_block(r, line, limbs);
    else if (const char* plus = std::strchr(line, '+'))
        open_bracketed_bone(r, line, length, plus);
    else if (std::strchr(line, '-') != nullptr) {
        require_block(r, line, "Hierarchy", "limbs");
        --r.depth;
    }
}

// ---- Plain form -------------------------------------------------------------
// total 2
// default 0
// b 0 0 0 1
// +
// b 0 100 0 1
// -

// "total N" starts a block of N bones, all at the origin until their lines come.
static void start_plain_block(SkeletonReader& r, const char* line)
{
    r.announced = read_bone_total(r, line, line + 5);
    r.model.skeletons.emplace_back();
    r.model.skeletons.back().bones.resize(r.announced);
    r.next_bone = 0;
    r.level = 0;
    r.last_at_level.clear();
}

// "b x y z flags": an unscaled position and the flags in hexadecimal. The
// bone's parent is the bone read last one level lower in the same block;
// without one it is a root. Thus a '+' before the root as well changes
// nothing.
static void read_plain_bone(SkeletonReader& r, const char* line)
{
    require_block(r, line, "Bone", "total");
    require_room(r, r.next_bone, line);

    const char* p = line + 1;
    std::array<float, 3> xyz{};
    uint32_t flags = 0;
    if (!scan_position(p, xyz) || !scan_hex(p, flags))
        parse_error(r, line);

    Bone& bone = r.model.skeletons.back().bones[r.next_bone];
    bone.x = bone_coordinate(r, xyz[0], line);
    bone.y = bone_coordinate(r, xyz[1], line);
    bone.z = bone_coordinate(r, xyz[2], line);
    bone.flags = static_cast<uint16_t>(flags & 0xFFFF);
    const auto below = r.last_at_level.find(r.level - 1);
    bone.parent = below == r.last_at_level.end() ? no_bone : below->second;

    r.last_at_level[r.level] = static_cast<uint8_t>(r.next_bone);
    ++r.next_bone;
}

static void read_plain_line(SkeletonReader& r, const char* line, size_t length)
{
    const std::string_view text(line, length);
    if (text.starts_with("total "))
        start_plain_block(r, line);
    else if (text.starts_with("b "))
        read_plain_bone(r, line);
    else if (line[0] == '+' || line[0] == '-') {
        require_block(r, line, "Hierarchy", "total");
        r.level += line[0] == '+' ? 1 : -1;
    }
    // "default" lines and anything else are accepted without effect.
}

void read_skeleton(Model& model, const std::string& path, const std::string& shown_path, float scale)
{
    const std::string& shown = shown_path.empty() ? path : shown_path;
    std::string text = read_text_file(path, shown);
    // Only line ends and comments: names may hold blanks and slashes.
    prepare_text(text, false);

    SkeletonReader r(model, shown, scale);
    // A comment before the "limbs" line leaves a NUL first: such a file is
    // read in the plain form.
    if (text.starts_with("limbs"))
        for_each_line(text, [&r](const char* line, size_t length) { read_bracketed_line(r, line, length); });
    else
        for_each_line(text, [&r](const char* line, size_t length) { read_plain_line(r, line, length); });
}

void compute_bone_absolute(Model& model, size_t skeleton, size_t bone)
{
    std::vector<Bone>& bones = model.skeletons[skeleton].bones;
    uint16_t x = 0, y = 0, z = 0;
    size_t steps = 0;
    for (size_t b = bone; b < bones.size(); b = bones[b].parent) {
        // A chain longer than the skeleton has bones runs in a loop.
        if (steps++ == bones.size())
            fatal_error("The parents of bone %zu of skeleton %zu form a loop", bone, skeleton);
        x = static_cast<uint16_t>(x + static_cast<uint16_t>(bones[b].x));
        y = static_cast<uint16_t>(y + static_cast<uint16_t>(bones[b].y));
        z = static_cast<uint16_t>(z + static_cast<uint16_t>(bones[b].z));
    }
    bones[bone].abs_x = static_cast<int16_t>(x);
    bones[bone].abs_y = static_cast<int16_t>(y);
    bones[bone].abs_z = static_cast<int16_t>(z);
}
