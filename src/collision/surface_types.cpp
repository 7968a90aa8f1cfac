#include "collision/surface_types.h"

#include <climits>
#include <cstdint>
#include <string>

#include "base/messages.h"

namespace {

enum class Match : uint8_t { exact, prefix };
// What follows a prefix keyword: nothing to read, one "%d", the ignored
// water box numbers, or the conveyor's "%d_%d".
enum class Argument : uint8_t { none, number, water, conveyor };
enum class Field : uint8_t { word0, word1, corner1 };

struct SurfaceKeyword {
    const char* text;
    Match match;
    Argument argument;
    Field field;
    uint32_t bits;   // exact keywords: the value OR-ed in; numbers: the shift
    uint32_t mask;   // the bit field the keyword writes
};

constexpr uint32_t sound_mask = 0x0000000F;
constexpr uint32_t floor_property_mask = 0x3C000000;
constexpr uint32_t floor_special_mask = 0x0003E000;
constexpr uint32_t wall_mask = 0x03E00000;

constexpr uint32_t floor_property(uint32_t value) { return value << 26; }

// Keywords in the order they are applied; the order decides which token a
// message names when a name holds several faulty ones.
constexpr SurfaceKeyword keyword_table[] = {
    {"IGNORE_CAMERA", Match::exact, Argument::none, Field::corner1, corner_ignore_camera, corner_ignore_camera},
    {"IGNORE_ENTITY", Match::exact, Argument::none, Field::corner1, corner_ignore_entity, corner_ignore_entity},
    {"IGNORE_AMMO", Match::exact, Argument::none, Field::corner1, corner_ignore_ammo, corner_ignore_ammo},
    {"SOUND_DIRT", Match::exact, Argument::none, Field::word1, 0x0, sound_mask},
    {"SOUND_SAND", Match::exact, Argument::none, Field::word1, 0x1, sound_mask},
    {"SOUND_STONE", Match::exact, Argument::none, Field::word1, 0x2, sound_mask},
    {"SOUND_STONE_WET", Match::exact, Argument::none, Field::word1, 0x3, sound_mask},
    {"SOUND_SPLASH", Match::exact, Argument::none, Field::word1, 0x4, sound_mask},
    {"SOUND_SPLASH_1", Match::exact, Argument::none, Field::word1, 0x5, sound_mask},
    {"SOUND_GRASS", Match::exact, Argument::none, Field::word1, 0x6, sound_mask},
    {"SOUND_LAVA", Match::exact, Argument::none, Field::word1, 0x7, sound_mask},
    {"SOUND_DIRT_1", Match::exact, Argument::none, Field::word1, 0x8, sound_mask},
    {"SOUND_WOOD", Match::exact, Argument::none, Field::word1, 0x9, sound_mask},
    {"SOUND_DIRT_PACKED", Match::exact, Argument::none, Field::word1, 0xA, sound_mask},
    {"SOUND_DIRT_2", Match::exact, Argument::none, Field::word1, 0xB, sound_mask},
    {"SOUND_CERAMIC", Match::exact, Argument::none, Field::word1, 0xC, sound_mask},
    {"SOUND_DIRT_LOOSE", Match::exact, Argument::none, Field::word1, 0xD, sound_mask},
    {"FLOOR_PIT_SMALL", Match::exact, Argument::none, Field::word0, floor_property(5), floor_property_mask},
    {"FLOOR_JUMP_VINE", Match::exact, Argument::none, Field::word0, floor_property(6), floor_property_mask},
    {"FLOOR_AIR_STOP", Match::exact, Argument::none, Field::word0, floor_property(8), floor_property_mask},
    {"FLOOR_JUMP_FALL", Match::exact, Argument::none, Field::word0, floor_property(9), floor_property_mask},
    {"FLOOR_JUMP_DIVE", Match::exact, Argument::none, Field::word0, floor_property(11), floor_property_mask},
    {"FLOOR_PIT_LARGE", Match::exact, Argument::none, Field::word0, floor_property(12), floor_property_mask},
    {"FLOOR_LAVA", Match::exact, Argument::none, Field::word0, 0x00008000, floor_special_mask},
    {"FLOOR_LAVA_1", Match::exact, Argument::none, Field::word0, 0x0000C000, floor_special_mask},
    {"FLOOR_SAND", Match::exact, Argument::none, Field::word0, 0x00010000, floor_special_mask},
    {"FLOOR_ICE", Match::exact, Argument::none, Field::word0, 0x00014000, floor_special_mask},
    {"FLOOR_NOFALLDMG", Match::exact, Argument::none, Field::word0, 0x00018000, floor_special_mask},
    {"FLOOR_QUICKHORSE", Match::exact, Argument::none, Field::word0, 0x0001C000, floor_special_mask},
    {"FLOOR_QUICKSAND", Match::exact, Argument::none, Field::word0, 0x00030000, floor_special_mask},
    {"FLOOR_STEEP", Match::exact, Argument::none, Field::word1, 0x00000030, 0x00000030},
    {"WALL_NOGRAB", Match::exact, Argument::none, Field::word0, 0x00200000, wall_mask},
    {"WALL_LADDER", Match::exact, Argument::none, Field::word0, 0x00400000, wall_mask},
    {"WALL_LADDER_TOP", Match::exact, Argument::none, Field::word0, 0x00600000, wall_mask},
    {"WALL_VINES", Match::exact, Argument::none, Field::word0, 0x00800000, wall_mask},
    {"WALL_CRAWL", Match::exact, Argument::none, Field::word0, 0x00A00000, wall_mask},
    {"WALL_CRAWL_1", Match::exact, Argument::none, Field::word0, 0x00C00000, wall_mask},
    {"WALL_PUSHBLOCK", Match::exact, Argument::none, Field::word0, 0x00E00000, wall_mask},
    {"WALL_DAMAGE", Match::exact, Argument::none, Field::word1, 0x08000000, 0x08000000},
    {"SPECIAL_BLEEDWALL", Match::exact, Argument::none, Field::word0, 0x00020000, floor_special_mask},
    {"SPECIAL_INSTAVOID", Match::exact, Argument::none, Field::word0, 0x00024000, floor_special_mask},
    {"SPECIAL_LOOKUP", Match::exact, Argument::none, Field::word0, 0x0002C000, floor_special_mask},
    {"NOHORSE", Match::exact, Argument::none, Field::word0, 0x80000000, 0x80000000},
    {"RAYCAST", Match::exact, Argument::none, Field::word0, 0x40000000, 0x40000000},
    {"HOOKSHOT", Match::exact, Argument::none, Field::word1, 0x00020000, 0x00020000},
    {"WATERBOX", Match::prefix, Argument::water, Field::word0, 0, 0},
    {"WARP_", Match::prefix, Argument::number, Field::word0, 8, 0x00001F00},
    {"CAMERA_", Match::prefix, Argument::number, Field::word1, 0, 0x000000FF},
    {"ECHO_", Match::prefix, Argument::number, Field::word1, 11, 0x0001F800},
    {"LIGHTING_", Match::prefix, Argument::number, Field::word1, 6, 0x000007C0},
    {"CONVEYOR_", Match::prefix, Argument::conveyor, Field::word1, 0, 0},
};

// Conveyor fields of word1: speed 0-3 at bit 18 with the "inherit" bit above
// it, and the direction in 64ths of a turn at bit 21.
constexpr int conveyor_speed_shift = 18;
constexpr uint32_t conveyor_inherit = 4u << conveyor_speed_shift;
constexpr int conveyor_direction_shift = 21;

constexpr std::string_view separators = " .,|#:;<>~/\\";

}  // namespace

// Reads one "%d" the way sscanf does: leading white space, an optional sign,
// then at least one digit. Values beyond the int range saturate.
static bool read_number(std::string_view text, size_t& at, int& value)
{
    size_t i = at;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (magnitude <= int64_t{INT_MAX} + 1)
            magnitude = magnitude * 10 + (text[i] - '0');
    const int64_t signed_value = negative ? -magnitude : magnitude;
    value = static_cast<int>(signed_value < INT_MIN ? INT_MIN : signed_value > INT_MAX ? INT_MAX : signed_value);
    at = i;
    return true;
}

[[noreturn]] static void incomplete_arguments(std::string_view token)
{
    const std::string text(token);
    fatal_error("Collision type '%s' incomplete arguments!", text.c_str());
}

static void set_bits(SurfaceType& type, Field field, uint32_t bits)
{
    switch (field) {
    case Field::word0: type.word0 |= bits; break;
    case Field::word1: type.word1 |= bits; break;
    case Field::corner1: type.corner1_flags = static_cast<uint16_t>(type.corner1_flags | bits); break;
    }
}

// CONVEYOR_speed_direction: speed 0-3, direction in degrees brought into
// 0-359, stored in 64ths of a turn; the second corner marks the conveyor.
static void apply_conveyor(SurfaceType& type, std::string_view token, std::string_view arguments)
{
    size_t at = 0;
    int speed = 0;
    int direction = 0;
    if (!read_number(arguments, at, speed) || at >= arguments.size() || arguments[at] != '_')
        incomplete_arguments(token);
    ++at;
    if (!read_number(arguments, at, direction))
        incomplete_arguments(token);
    if (speed < 0 || speed > 3) {
        const std::string text(token);
        fatal_error("Collision type '%s' invalid argument 'speed': (valid values are 0, 1, 2, 3)", text.c_str());
    }
    direction %= 360;
    if (direction < 0)
        direction += 360;
    // direction * 63 / 360 to the nearest whole number, halves up.
    uint32_t direction6 = static_cast<uint32_t>((direction * 63 * 2 + 360) / 720);
    if (direction6 > 63)
        direction6 = 63;
    type.word1 |= static_cast<uint32_t>(speed) << conveyor_speed_shift | direction6 << conveyor_direction_shift;
    if (token.find("INHERIT") != std::string_view::npos)
        type.word1 |= conveyor_inherit;
    type.corner2_flags = corner_conveyor;
}

static void apply_keyword(SurfaceType& type, const SurfaceKeyword& keyword, std::string_view token)
{
    const std::string_view arguments = token.substr(std::string_view(keyword.text).size());
    switch (keyword.argument) {
    case Argument::none:
        set_bits(type, keyword.field, keyword.bits & keyword.mask);
        break;
    case Argument::water:
        // The numbers after WATERBOX ("_%d_%d_%d") carry nothing the game reads.
        type.water = true;
        break;
    case Argument::number: {
        size_t at = 0;
        int n = 0;
        if (!read_number(arguments, at, n))
            incomplete_arguments(token);
        set_bits(type, keyword.field, (static_cast<uint32_t>(n) << keyword.bits) & keyword.mask);
        break;
    }
    case Argument::conveyor:
        apply_conveyor(type, token, arguments);
        break;
    }
}

static bool matches(const SurfaceKeyword& keyword, std::string_view token)
{
    const std::string_view text(keyword.text);
    if (keyword.match == Match::exact)
        return token == text;
    return token.substr(0, text.size()) == text;
}

size_t SurfaceTypeHash::operator()(const SurfaceType& type) const
{
    uint64_t h = (uint64_t{type.word0} << 32 | type.word1) * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t{type.corner1_flags} << 33 | uint64_t{type.corner2_flags} << 17 |
          uint64_t{type.corner3_flags} << 1 | (type.water ? 1u : 0u)) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<size_t>(h ^ (h >> 29));
}

void clear_surface_types(SurfaceTypeList& list)
{
    list.types.clear();
    list.index.clear();
}

SurfaceType parse_surface_type(std::string_view name)
{
    // Split at the separators; runs of them make no empty tokens.
    std::vector<std::string_view> tokens;
    size_t start = name.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        const size_t end = name.find_first_of(separators, start);
        tokens.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        start = end == std::string_view::npos ? end : name.find_first_not_of(separators, end);
    }

    // Every keyword, in table order, against every token; effects accumulate.
    SurfaceType type;
    for (const SurfaceKeyword& keyword : keyword_table)
        for (const std::string_view token : tokens)
            if (matches(keyword, token))
                apply_keyword(type, keyword, token);
    return type;
}

std::vector<SurfaceKeywordWord> surface_keyword_words()
{
    std::vector<SurfaceKeywordWord> words;
    for (const SurfaceKeyword& keyword : keyword_table)
        words.push_back({keyword.text, keyword.match == Match::prefix});
    return words;
}

uint16_t classify_surface(std::string_view name, SurfaceTypeList& list)
{
    const SurfaceType type = parse_surface_type(name);
    const auto found = list.index.find(type);
    if (found != list.index.end())
        return found->second;
    if (list.types.size() > UINT16_MAX)
        fatal_error("Too many collision surface types (more than %d)!", UINT16_MAX + 1);
    const uint16_t index = static_cast<uint16_t>(list.types.size());
    list.types.push_back(type);
    list.index.emplace(type, index);
    return index;
}
