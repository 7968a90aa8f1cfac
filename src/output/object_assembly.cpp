#include "output/object_assembly.h"

#include <algorithm>

#include "base/context.h"
#include "base/header_text.h"
#include "base/messages.h"
#include "base/out_buffer.h"
#include "base/pending_file.h"
#include "collision/collision_mesh.h"
#include "dlist/display_list.h"
#include "dlist/gbi.h"
#include "model/model.h"
#include "output/animation_encoding.h"
#include "output/object_file.h"
#include "texture/texture_emission.h"

// Room the object's buffer starts with: enough for a small object, and a
// larger one grows it by half at a time, copying only what is written.
static constexpr uint32_t object_initial_capacity = 0x40000;

// Byte offsets in a collision header of the words that hold pointers.
static constexpr uint32_t collision_pointer_words[] = {16, 24, 28, 32, 40};

static bool has_list(uint32_t display_list)
{
    return (display_list & 3) == 0;
}

// Records the address words of a group's list, so the C array can write them
// relative to itself.
static void record_list_pointers(Context& ctx, const OutBuffer& ob, uint32_t list)
{
    for (uint32_t at = list; at + 8 <= ob.length; at += 8) {
        const uint8_t op = ob.bytes[at];
        if (op == G_ENDDL)
            break;
        // Vertex loads, texture images and branches carry an address.
        if ((op == G_VTX || op == G_SETTIMG || op == G_DL) && ob.bytes[at + 4] == 0x06)
            add_pointer_position(ctx.pointer_positions, at + 4);
    }
}

// The range of triangles of a limb group: from its start entry to the next
// entry, or to the end of the triangles for the last one.
static bool limb_has_triangles(const Model& model, size_t entry)
{
    if (entry >= model.group_starts.size())
        return false;
    const uint32_t start = model.group_starts[entry];
    const size_t end = entry + 1 < model.group_starts.size() ? model.group_starts[entry + 1] & ~group_start_moved
                                                             : model.triangles.size();
    return (start & group_start_moved) == 0 && end != start;
}

// Numbers the limbs that will get a display list, in bone order; returns
// how many there are.
static uint32_t number_limbs(Model& model)
{
    uint32_t n = 0;
    std::vector<Bone>& bones = model.skeletons[0].bones;
    for (size_t b = 0; b < bones.size(); ++b) {
        if (limb_has_triangles(model, model.file_group_count + b))
            bones[b].limb_index = static_cast<uint8_t>(n++);
        else
            bones[b].limb_index = no_bone;
    }
    return n;
}

static bool any_plain_group_drawn(const Model& model)
{
    for (size_t g = 0; g < model.file_group_count && g < model.group_starts.size(); ++g)
        if ((model.group_starts[g] & group_start_moved) == 0)
            return true;
    return false;
}

static void emit_group_lists(Context& ctx, Model& model, DisplayListScratch& scratch, OutBuffer& ob)
{
    log_banner(ctx, "Display Lists");
    for (uint16_t g = 0; g < model.file_group_count; ++g) {
        Group& group = model.groups[g];
        if (group.collision)
            continue;
        ob_align8(ob);
        const int32_t list = build_display_list(ctx, model, scratch, ob, g, no_bone, group.name.c_str());
        group.display_list = static_cast<uint32_t>(list);
        if (!has_list(group.display_list))
            continue;
        record_list_pointers(ctx, ob, group.display_list);
        log_item(ctx, "DL_", group.name, group.display_list);
    }
}

static void emit_collisions(Context& ctx, Model& model, OutBuffer& ob)
{
    log_banner(ctx, "Collisions");
    for (uint16_t g = 0; g < model.file_group_count; ++g) {
        if (!model.groups[g].collision)
            continue;
        const uint32_t header = emit_collision(model, g, ctx.settings.base_offset, ctx.settings.scale, ob);
        for (const uint32_t word : collision_pointer_words)
            add_pointer_position(ctx.pointer_positions, header + word);
        log_item(ctx, "", model.groups[g].name, header);
    }
}

static void emit_limb_lists(Context& ctx, Model& model, DisplayListScratch& scratch, OutBuffer& ob)
{
    log_banner(ctx, "Hierarchical Display Lists");
    std::vector<Bone>& bones = model.skeletons[0].bones;
    // The limb split gives every bone a group behind the model's own.
    if (model.groups.size() < size_t{model.file_group_count} + bones.size())
        fatal_error("The skeleton has %zu bones, but only %zu limb groups follow the model's %u groups",
                    bones.size(), model.groups.size() - std::min<size_t>(model.groups.size(), model.file_group_count),
                    unsigned{model.file_group_count});
    for (size_t b = 0; b < bones.size(); ++b) {
        const size_t g = model.file_group_count + b;
        // Vertex blocks and lists are fetched by 8-byte transfers; the
        // collision data before them can end at 4 mod 8.
        ob_align8(ob);
        const int32_t list =
            build_display_list(ctx, model, scratch, ob, static_cast<uint16_t>(g), bones[b].limb_index, nullptr);
        bones[b].display_list = static_cast<uint32_t>(list);
        model.groups[g].display_list = static_cast<uint32_t>(list);
        if (has_list(bones[b].display_list))
            log_item(ctx, "LIMB_", model.groups[g].name, bones[b].display_list);
    }
}

// Writes a pointer word, recording where it stands.
static void write_pointer(Context& ctx, OutBuffer& ob, uint32_t target)
{
    add_pointer_position(ctx.pointer_positions, ob.length);
    ob_write_u32(ob, ctx.settings.base_offset + target);
}

// The limb records, the table pointing at them and the skeleton header.
static void emit_skeleton(Context& ctx, Model& model, OutBuffer& ob, bool link_format, uint32_t limb_list_count)
{
    const std::vector<Bone>& bones = model.skeletons[0].bones;
    const uint32_t record_size = link_format ? 16 : 12;

    ob_align16(ob);
    const uint32_t first_record = ob.length;
    for (const Bone& bone : bones) {
        ob_write_u16(ob, static_cast<uint16_t>(bone.x));
        ob_write_u16(ob, static_cast<uint16_t>(bone.y));
        ob_write_u16(ob, static_cast<uint16_t>(bone.z));
        ob_write_u8(ob, bone.first_child);
        ob_write_u8(ob, bone.next_sibling);
        const bool present = (bone.display_list & 0xF) != 0xF;
        for (uint32_t word = 0; word < (link_format ? 2u : 1u); ++word) {
            if (present)
                write_pointer(ctx, ob, bone.display_list);
            else
                ob_write_u32(ob, 0);
        }
    }

    for (size_t b = 0; b < bones.size(); ++b)
        write_pointer(ctx, ob, first_record + static_cast<uint32_t>(b) * record_size);

    log_banner(ctx, "Hierarchies (Skeletons)");
    const uint32_t header = ob.length;
    log_item(ctx, "SKL_", "Default", header);
    write_pointer(ctx, ob, header - 4 * static_cast<uint32_t>(bones.size()));
    ob_write_u32(ob, static_cast<uint32_t>(bones.size()) << 24);
    ob_write_u32(ob, limb_list_count << 24);
}

void assemble_object(Context& ctx, Model& model, const std::string& output_path, bool link_format,
                     bool has_animations, TexturesAhead* ahead)
{
    const Settings& settings = ctx.settings;
    OutBuffer ob = make_out_buffer(object_initial_capacity);

    for (Group& group : model.groups)
        group.display_list = 0xFFFFFFFF;
    for (Material& material : model.material_table)
        material.material_commands = OutBuffer{};

    // Textures and palettes come first, from offset 0.
    emit_textures(ctx, model, ob, ahead);
    ob_align8(ob);

    const bool has_skeleton = !model.skeletons.empty();
    const uint32_t limb_list_count = has_skeleton ? number_limbs(model) : 0;

    DisplayListScratch display_lists;
    if (any_plain_group_drawn(model)) {
        emit_group_lists(ctx, model, display_lists, ob);
        emit_collisions(ctx, model, ob);
    }

    if (has_skeleton) {
        emit_limb_lists(ctx, model, display_lists, ob);
        if (has_animations) {
            log_banner(ctx, "Animations");
            for (size_t a = 0; a < model.animations.size(); ++a)
                encode_animation(ctx, model, a, ob);
        }
        emit_skeleton(ctx, model, ob, link_format, limb_list_count);
    }

    if (!settings.embed_c)
        ob_align16(ob);
    if (settings.play_as)
        append_play_as_manifest(ob, model.groups, model.group_starts.size());
    if (ob.length > max_object_offset + 1)
        fatal_error("The object is larger than 16 MiB (%u bytes); segment 6 cannot address it", ob.length);

    // The object takes its name only once it is complete; with embed_c it is
    // the log stream, which the driver opened to be replaced the same way.
    PendingFile object;
    if (settings.embed_c) {
        const std::string text = c_array_text(ob, ctx.pointer_positions);
        if (std::FILE* stream = get_log_stream(ctx.log))
            std::fwrite(text.data(), 1, text.size(), stream);
    } else {
        object = open_pending_file(output_path);
        std::fwrite(ob.data(), 1, ob.length, object.file);
    }
    ob = OutBuffer{};

    log_base_offset(ctx);

    // Success is announced only once the object stands under its name: the
    // move into place can still fail.
    if (settings.embed_c)
        close_log(ctx.log);
    else
        commit_pending_file(object);
    std::printf("%s", settings.write_header ? "\n/*** ZOBJ compiled successfully! ***/\n"
                                            : "\n ~~~ ZOBJ compiled successfully! ~~~\n");
}
