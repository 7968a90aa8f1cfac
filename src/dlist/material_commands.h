#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "base/out_buffer.h"
#include "model/model.h"

struct Settings;

// The render state of a material as display-list commands: pipeline syncs,
// the texture load and tile set-up, the colour combiner, the render mode,
// the geometry mode and the primitive colour. Each material's full list is
// built once and kept in Material::material_commands; within one display
// list a change of material only emits what differs from the one before.

// Puts the material's state into `scratch_list`: its whole command list when
// it is the first material of the display list (`previous` is null), else
// only the changes. It becomes the previous material.
void emit_material(const Settings& settings, const Model& model, Material& material, const Material*& previous,
                   OutBuffer& scratch_list);

// Builds the material's complete command list into material.material_commands.
void build_material_commands(const Settings& settings, const Model& model, Material& material);

// Appends the commands that load the material's texture and set up its tiles.
void emit_texture_load(const Settings& settings, const Model& model, OutBuffer& commands, const Material& material);

// Appends to `scratch_list` the commands of `material` that differ from those of `previous`.
void emit_material_changes(const Material& previous, const Material& material, OutBuffer& scratch_list);

// The offset of the first 8-byte command of `list` whose opcode is `opcode`.
std::optional<uint32_t> find_command(uint8_t opcode, const OutBuffer& list);

// The index (into the 16 combiner inputs) of the first colour input equal to
// `value`: cycle 1 colour a-d, then cycle 2 colour a-d; alpha inputs are skipped.
std::optional<size_t> find_combiner_input(const std::array<uint8_t, 16>& inputs, uint8_t value);

// Turns the combiner's primitive-colour input into the environment colour.
// Without one, prints "  ERROR! Can't find C_PRIMITIVE!" to standard output
// and stops the conversion with an empty-message FatalError (no message box).
void use_environment_colour(std::array<uint8_t, 16>& inputs);
