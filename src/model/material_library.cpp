#include "model/material_library.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "base/context.h"
#include "base/messages.h"
#include "image/image.h"
#include "image/quantize.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "model/prepare_text.h"
#include "model/text_scan.h"
#include "model/texture_loading.h"

// Colours in the library are given in linear terms; the console wants them
// brighter, raised to 1/2.22.
static constexpr float colour_exponent = 0.45045045f;
// Texture-coordinate generation wants coordinates in these fractions.
static constexpr float texgen_scale_s = 2000.0f / 65535.0f;
static constexpr float texgen_scale_t = 2500.0f / 65535.0f;
// Bank images are reduced to what an 8-bit palette holds.
static constexpr int32_t bank_colours = 256;

// Combiner input numbers of the console's colour combiner.
static constexpr uint8_t combiner_combined = 0;
static constexpr uint8_t combiner_primitive = 3;
static constexpr uint8_t combiner_shade = 4;
static constexpr uint8_t combiner_environment = 5;
static constexpr uint8_t combiner_one = 6;
static constexpr uint8_t combiner_zero = 31;
static constexpr size_t cycle_2_colour = 8;  // first cycle 2 colour byte of Material::combiner

namespace {

// One line of the prepared text: it runs to the next NUL.
struct Line {
    const char* text;
    size_t length;

    bool contains(const char* word) const { return find(word) != nullptr; }
    const char* find(const char* word) const { return std::strstr(text, word); }
    bool starts_with(const char* word) const { return std::string_view(text, length).starts_with(word); }
    // The text from `column` on; empty when the line is shorter.
    const char* from(size_t column) const { return column <= length ? text + column : text + length; }
};

struct LibraryReader {
    Context& ctx;
    Model& model;
    TextureLoading& loading;
    const std::string& path;   // as opened: texture references are relative to it
    const std::string& shown;  // for messages
    size_t material = 0;       // index of the current material in model.material_table
    uint8_t slot_counter = 0;  // texture references seen in the current material
    // The file names of each folder a texture reference looked in, sorted,
    // so that a folder is listed once per library however many references
    // name it.
    std::unordered_map<std::string, std::vector<std::string>> folder_names;
};

}  // namespace

static Material& current(LibraryReader& r)
{
    return r.model.material_table[r.material];
}

[[noreturn]] static void parse_error(const Line& line)
{
    fatal_error("Error parsing line: '%s'", line.text);
}

// ---- Textures -----------------------------------------------------------------

// The size and the pixels as one number, for finding equal textures fast.
static uint64_t pixel_hash(int32_t width, int32_t height, const std::vector<uint8_t>& pixels)
{
    const std::string_view bytes(reinterpret_cast<const char*>(pixels.data()), pixels.size());
    const uint64_t size = static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32 | static_cast<uint32_t>(height);
    return std::hash<std::string_view>{}(bytes) ^ (size * 0x9E3779B97F4A7C15ull);
}

uint64_t texture_hash(const Texture& texture)
{
    return pixel_hash(static_cast<int32_t>(texture.width), static_cast<int32_t>(texture.height), texture.pixels);
}

// Brings the index up to the model's texture table.
static void sync_index(TextureIndex& index, const Model& model)
{
    if (model.textures.size() < index.indexed) {
        index.by_hash.clear();
        index.indexed = 0;
    }
    for (; index.indexed < model.textures.size(); ++index.indexed)
        index.by_hash.emplace(texture_hash(model.textures[index.indexed]), static_cast<uint16_t>(index.indexed));
}

Texture texture_record(const std::string& path, const Image& image, uint16_t base_width, uint16_t base_height,
                       uint32_t force_address, uint32_t bank_address, std::optional<size_t> palette_marker)
{
    // The image's pixels as plain RGBA bytes, unpacked with its format.
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (image.pixels.size() < count * 4)
        fatal_error("Texture '%s' has fewer pixels than its size", path.c_str());
    Texture texture;
    texture.pixels.resize(count * 4);
    uint8_t* const pixels = texture.pixels.data();
    for (size_t i = 0; i < count; ++i) {
        uint32_t word;
        std::memcpy(&word, image.pixels.data() + 4 * i, 4);
        for (size_t c = 0; c < 4; ++c)
            pixels[4 * i + c] = static_cast<uint8_t>(((word & image.format.masks[c]) >> image.format.shifts[c])
                                                     << image.format.losses[c]);
    }
    texture.path = path;
    texture.width = static_cast<float>(image.width);
    texture.height = static_cast<float>(image.height);
    texture.base_width = base_width;
    texture.base_height = base_height;
    texture.force_address = force_address;
    texture.bank_address = bank_address;
    texture.cull_mode = path.find("QXNOCULL") != std::string::npos ? 0 : 0x400;
    texture.palette_slot = -1;
    if (palette_marker) {
        // "QXPAL" and a number; without one the slot is 0.
        const char* p = path.c_str() + *palette_marker + 5;
        int slot = 0;
        texture.palette_slot = scan_int(p, slot) ? slot : 0;
    }
    // Not converted yet: the encoders choose format and size.
    texture.format = 255;
    texture.bit_size = 255;
    return texture;
}

uint16_t find_or_add_texture(Model& model, Texture record)
{
    // The first texture with the same size and pixels is the one.
    TextureIndex& index = model.texture_index;
    sync_index(index, model);
    const uint64_t hash = texture_hash(record);
    uint16_t found = no_texture;
    const auto [first, last] = index.by_hash.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const Texture& texture = model.textures[it->second];
        if (texture.width == record.width && texture.height == record.height && texture.pixels == record.pixels)
            found = std::min(found, it->second);
    }
    if (found != no_texture)
        return found;

    ensure_room(model.textures.size(), max_textures, "textures", record.path);
    model.textures.push_back(std::move(record));
    const uint16_t added = static_cast<uint16_t>(model.textures.size() - 1);
    index.by_hash.emplace(hash, added);
    index.indexed = model.textures.size();
    return added;
}

uint16_t find_or_add_texture(Model& model, const std::string& path, const Image& image,
                             uint16_t base_width, uint16_t base_height, uint32_t force_address,
                             uint32_t bank_address, std::optional<size_t> palette_marker)
{
    return find_or_add_texture(
        model, texture_record(path, image, base_width, base_height, force_address, bank_address, palette_marker));
}

uint8_t texture_name_flags(const std::string& used_path)
{
    uint8_t flags = 0;
    if (used_path.find("QXSKIP") != std::string::npos)
        flags |= texture_skip;
    if (used_path.find("QXFORCERGBA16") != std::string::npos || used_path.find("QXRGBA16") != std::string::npos)
        flags |= texture_force_rgba16;
    return flags;
}

// The hexadecimal number after "0x" at `p`, as "0x%X" reads it; nothing when
// there are no digits. A number beyond 32 bits is an error in the file name.
static std::optional<uint32_t> read_hex_address(const char* p, const std::string& name)
{
    if (p[0] != '0' || (p[1] != 'x' && p[1] != 'X'))
        return std::nullopt;
    p += 2;
    uint64_t value = 0;
    int digits = 0;
    while (std::isxdigit(static_cast<unsigned char>(*p))) {
        const char c = *p++;
        value = value * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                       ? c - '0'
                                                       : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        if (value > 0xFFFFFFFFull)
            fatal_error("The address in '%s' does not fit in 32 bits", name.c_str());
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

static bool same_letters(std::string_view a, std::string_view b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

struct BankImage {
    std::string path;  // the directory of the reference, "/" and the file name
    std::string file;
};

// A bank image for the reference: in the reference's folder, the first file
// by name that holds the base name and "QXBANK0x" and whose extension agrees
// with the reference's as far as the shorter of the two goes.
static std::optional<BankImage> find_bank_image(LibraryReader& r, const std::string& directory,
                                                const std::string& base_name, const std::string& extension)
{
    const std::string folder = resolve_relative(r.path, directory.empty() ? std::string("./") : directory + "/");
    const auto [listed, is_new] = r.folder_names.try_emplace(folder);
    std::vector<std::string>& names = listed->second;
    if (is_new) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
    }
    for (const std::string& name : names) {
        const size_t dot = name.rfind('.');
        if (name.find(base_name) == std::string::npos || dot == std::string::npos ||
            name.find("QXBANK0x") == std::string::npos)
            continue;
        const std::string_view ext = std::string_view(name).substr(dot + 1);
        const size_t n = std::min(ext.size(), extension.size());
        if (!same_letters(ext.substr(0, n), std::string_view(extension).substr(0, n)))
            continue;
        return BankImage{directory.empty() ? name : directory + "/" + name, name};
    }
    return std::nullopt;
}

// "map_Kd": the reference R names an image, which a bank image in its
// folder may replace.
static void read_texture_reference(LibraryReader& r, const std::string& reference)
{
    Material& m = current(r);
    if (r.slot_counter >= m.slots.size())
        fatal_error("More than two textures referenced in material '%s'", m.name.c_str());

    // Extension, directory and base name of the reference.
    const size_t dot = reference.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : reference.substr(dot + 1);
    const std::string stem = dot == std::string::npos ? reference : reference.substr(0, dot);
    const size_t slash = stem.find_last_of("/\\");
    const std::string directory = slash == std::string::npos ? std::string() : stem.substr(0, slash);
    const std::string base_name = slash == std::string::npos ? stem : stem.substr(slash + 1);

    // A bank image keeps its own size and is reduced to 256 colours. The
    // named image gives the size that texture coordinates count in; it is
    // loaded on the side, and what its pixels decide is settled later.
    TextureReference texture;
    texture.material = r.material;
    texture.used_path = reference;
    if (const std::optional<BankImage> found = find_bank_image(r, directory, base_name, extension)) {
        Image bank = load_image(resolve_relative(r.path, found->path), found->path);
        quantize_colours(bank.pixels.data(), bank.width, bank.height, bank_colours);
        texture.bank = std::move(bank);
        if (const size_t at = found->file.find("QXFORCE0x"); at != std::string::npos)
            texture.force_address =
                read_hex_address(found->file.c_str() + at + 7, found->file).value_or(texture.force_address);
        const size_t at = found->file.find("QXBANK");
        texture.bank_address = read_hex_address(found->file.c_str() + at + 6, found->file).value_or(texture.bank_address);
        texture.used_path = found->path;
    }
    if (const size_t marker = texture.used_path.find("QXPAL"); marker != std::string::npos)
        texture.palette_marker = marker;
    r.loading.add(std::move(texture), resolve_relative(r.path, reference), reference);

    if (reference.find("QXTUNIC") != std::string::npos)
        m.flags |= material_env_colour;
    ++r.slot_counter;
}

// ---- Combiner lines -----------------------------------------------------------

static uint8_t combiner_texture_count(const Material& m)
{
    return static_cast<uint8_t>((m.flags & material_combiner_textures_mask) >> 6);
}

// The input for a quoted texture name: 1 for the material's first distinct
// name, 2 for its second.
static uint8_t combiner_texture_input(Material& m, const Line& line, const char* quote)
{
    const char* name_start = quote + 1;
    const char* name_end = std::strchr(name_start, '"');
    if (name_end == nullptr)
        fatal_error("Texture name without its closing quote in line: '%s'", line.text);
    const std::string name(name_start, static_cast<size_t>(name_end - name_start));
    const uint8_t count = combiner_texture_count(m);
    for (uint8_t i = 0; i < count; ++i)
        if (m.combiner_texture[i] == name)
            return static_cast<uint8_t>(i + 1);
    if (count >= m.combiner_texture.size())
        fatal_error("Three unique textures specified in material '%s'", m.name.c_str());
    m.combiner_texture[count] = name;
    m.flags = static_cast<uint8_t>((m.flags & ~material_combiner_textures_mask) | (count + 1) << 6);
    return static_cast<uint8_t>(count + 1);
}

// A colour given as four numbers: the named constants when it is one of them,
// else the primitive colour, which then becomes the material's colour.
static uint8_t combiner_colour_input(Material& m, const Line& line, const char* value)
{
    float c[4];
    const char* p = value;
    for (float& component : c)
        if (!scan_float(p, component))
            parse_error(line);
    auto all = [&c](auto test) { return test(c[0]) && test(c[1]) && test(c[2]); };
    if (all([](float v) { return v >= 0.4999 && v <= 0.501; }))
        return combiner_environment;
    if (all([](float v) { return v <= 0.001; }))
        return combiner_zero;
    if (all([](float v) { return v >= 0.999; }))
        return combiner_one;
    m.r = std::pow(c[0], colour_exponent);
    m.g = std::pow(c[1], colour_exponent);
    m.b = std::pow(c[2], colour_exponent);
    return combiner_primitive;
}

// "c<cycle> <input> <value>": one colour input of the combiner.
static void read_combiner_line(LibraryReader& r, const Line& line)
{
    Material& m = current(r);
    const char* p = line.from(1);
    int cycle = 0, input = 0;
    if (!scan_int(p, cycle) || !scan_int(p, input))
        parse_error(line);
    if (input < 0 || input > 3)
        fatal_error("Combiner input %d is not one of 0 to 3 in line: '%s'", input, line.text);

    uint8_t value;
    if (const char* quote = std::strchr(line.text, '"')) {
        value = combiner_texture_input(m, line, quote);
    } else {
        const char* first_blank = std::strchr(line.text, ' ');
        const char* second_blank = first_blank ? std::strchr(first_blank + 1, ' ') : nullptr;
        if (second_blank == nullptr)
            parse_error(line);
        const std::string_view rest(second_blank + 1);
        if (rest.starts_with("G_COMBINE"))
            value = combiner_combined;
        else if (rest.starts_with("G_SHADE"))
            value = combiner_shade;
        else
            value = combiner_colour_input(m, line, second_blank + 1);
    }
    const size_t base = cycle == 1 ? cycle_2_colour : 0;
    m.combiner[base + static_cast<size_t>(input)] = value;
}

// ---- Material lines -----------------------------------------------------------

// "prop %c": a wrap mode for the next texture reference's slot; 'u' before
// the word selects S, anything else T.
static void read_wrap(LibraryReader& r, const Line& line, const char* match)
{
    Material& m = current(r);
    const char* p = skip_scan_space(match + 4);
    const uint16_t mode = *p == 'c' ? 1 : *p == 'm' ? 2 : 0;
    // A wrap line after the second reference describes no texture.
    if (r.slot_counter >= m.slots.size())
        return;
    TextureSlot& slot = m.slots[r.slot_counter];
    if (match > line.text && match[-1] == 'u')
        slot.wrap_u = mode;
    else
        slot.wrap_v = mode;
}

static void read_scale(const Line& line, float& scale)
{
    const char* p = line.from(7);
    float value;
    if (scan_float(p, value))
        scale = value;
}

// "Kd %f %f %f": the diffuse colour, used only with the library colours setting.
static void read_diffuse(LibraryReader& r, const char* match)
{
    Material& m = current(r);
    const char* p = match + 2;
    float* channels[3] = {&m.r, &m.g, &m.b};
    for (float* channel : channels) {
        float value;
        if (!scan_float(p, value))
            break;
        *channel = value;
    }
    for (float* channel : channels)
        *channel = std::pow(*channel, colour_exponent);
    if (!r.ctx.settings.mtl_colors)
        m.r = m.g = m.b = 1.0f;
}

// "d %f": opacity; a missing or zero value means opaque.
static void read_dissolve(LibraryReader& r, const Line& line)
{
    const char* p = line.from(2);
    float value;
    current(r).alpha = (scan_float(p, value) && value != 0.0f) ? value : 1.0f;
}

// One line of the current material, tested in this order.
static void read_material_line(LibraryReader& r, const Line& line)
{
    Material& m = current(r);
    if (line.contains("nodal")) {
        m.flags = static_cast<uint8_t>((m.flags | material_nodal) & ~material_combiner_textures_mask);
        return;
    }
    if (m.flags & material_nodal) {
        if (line.starts_with("c0") || line.starts_with("c1"))
            read_combiner_line(r, line);
        return;
    }
    if (const char* match = line.find("prop ")) {
        read_wrap(r, line, match);
    } else if (line.contains("texgen")) {
        m.flags = static_cast<uint8_t>((m.flags & ~material_texgen_mask) | 1 << 2);
        if (m.scale_s == 1.0f)
            m.scale_s = texgen_scale_s;
        if (m.scale_t == 1.0f)
            m.scale_t = texgen_scale_t;
    } else if (line.contains("illum")) {
        if (line.length > 6 && line.text[6] == '0')
            m.unlit = 1;
    } else if (line.contains("scaleS")) {
        read_scale(line, m.scale_s);
    } else if (line.contains("scaleT")) {
        read_scale(line, m.scale_t);
    } else if (const char* map = line.find("map_Kd")) {
        const size_t column = static_cast<size_t>(map - line.text) + 7;
        read_texture_reference(r, std::string(line.from(column)));
    } else if (const char* kd = line.find("Kd ")) {
        read_diffuse(r, kd);
    } else if (line.starts_with("d ")) {
        read_dissolve(r, line);
    }
}

// "newmtl": a material with its defaults and the keywords of its name.
static void start_material(LibraryReader& r, const Line& line, const char* match)
{
    ensure_room(r.model.material_table.size(), max_materials, "materials", r.shown);
    Material material;
    const size_t column = static_cast<size_t>(match - line.text) + 7;
    material.name = line.from(column);
    if (material.name.find("QXNOAA") != std::string::npos)
        material.flags |= material_no_aa;
    if (material.name.find("QXDECAL") != std::string::npos)
        material.decal = 1;
    if (material.name.find("QXENV") != std::string::npos)
        material.flags |= material_env_colour;
    if (material.name.find("NOCULL") != std::string::npos)
        material.geometry_mode = 0;
    r.model.material_table.push_back(std::move(material));
    r.material = r.model.material_table.size() - 1;
    r.slot_counter = 0;
}

void read_material_library(Context& ctx, Model& model, const std::string& path, const std::string& shown_path,
                           TextureLoading& loading)
{
    const std::string& shown = shown_path.empty() ? path : shown_path;
    std::string text = read_text_file(path, shown);
    prepare_text(text, true);

    // Lines run between NULs. A "newmtl" line opens a material, whose lines
    // (the newmtl line itself from its second character on, so words in the
    // name count too) run to the next one; lines before the first are ignored.
    LibraryReader r{ctx, model, loading, path, shown, 0, 0, {}};
    bool in_material = false;
    for_each_line(text, [&](const char* text_of_line, size_t length) {
        const Line line{text_of_line, length};
        if (const char* match = line.find("newmtl")) {
            start_material(r, line, match);
            in_material = true;
            read_material_line(r, Line{line.text + 1, line.length - 1});
        } else if (in_material) {
            read_material_line(r, line);
        }
    });
}

void read_material_library(Context& ctx, Model& model, const std::string& path, const std::string& shown_path)
{
    TextureLoading loading(ctx, nullptr, false);
    loading.settle_after(model, [&] { read_material_library(ctx, model, path, shown_path, loading); });
}
