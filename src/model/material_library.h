#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct Context;
struct Image;
struct Model;
struct Texture;
class TextureLoading;

// Reads the material library at `path` (as opened; `shown_path`, when given,
// is how messages name it): one Material per "newmtl" appended to
// model.material_table, textures loaded into the model's texture table and
// shared between materials whose images are identical. Texture references
// are taken relative to the library's own folder.
void read_material_library(Context& ctx, Model& model, const std::string& path,
                           const std::string& shown_path = std::string());

// The same, with the named images of texture references loaded by
// `loading`: the material's texture and the texture table wait until
// loading.settle(model).
void read_material_library(Context& ctx, Model& model, const std::string& path, const std::string& shown_path,
                           TextureLoading& loading);

// A new texture record made from the image, as find_or_add_texture adds it:
// its name words (texture_name_flags) are not read yet.
Texture texture_record(const std::string& path, const Image& image, uint16_t base_width, uint16_t base_height,
                       uint32_t force_address, uint32_t bank_address, std::optional<size_t> palette_marker);

// The index of a texture with exactly the record's size and pixels, or of
// the record itself, added to the table.
uint16_t find_or_add_texture(Model& model, Texture record);

// The size and pixels of a texture as one number: equal textures have equal
// ones.
uint64_t texture_hash(const Texture& texture);

// The Texture::name_flags that a reference through this path gives; the
// latest reference to a texture decides them.
uint8_t texture_name_flags(const std::string& used_path);

// The index of a texture with exactly the image's size and pixels, or of a
// new one made from the image. `palette_marker` is where "QXPAL" stands in
// `path`, if it does.
uint16_t find_or_add_texture(Model& model, const std::string& path, const Image& image,
                             uint16_t base_width, uint16_t base_height, uint32_t force_address,
                             uint32_t bank_address, std::optional<size_t> palette_marker);
