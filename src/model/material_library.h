#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct Context;
struct Image;
struct Model;

// Reads the material library at `path` (as opened; `shown_path`, when given,
// is how messages name it): one Material per "newmtl" appended to
// model.material_table, textures loaded into the model's texture table and
// shared between materials whose images are identical. Texture references
// are taken relative to the library's own folder.
void read_material_library(Context& ctx, Model& model, const std::string& path,
                           const std::string& shown_path = std::string());

// The index of a texture with exactly the image's size and pixels, or of a
// new one made from the image. `palette_marker` is where "QXPAL" stands in
// `path`, if it does.
uint16_t find_or_add_texture(Model& model, const std::string& path, const Image& image,
                             uint16_t base_width, uint16_t base_height, uint32_t force_address,
                             uint32_t bank_address, std::optional<size_t> palette_marker);
