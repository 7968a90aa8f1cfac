#pragma once

#include <string>

struct Context;
struct Model;
struct OutBuffer;
class TexturesAhead;

// Writes every texture of the model into the object: shared palettes are
// built first, then the textures' texels go out one after another, each on
// an 8-byte boundary (forced addresses first, in their order, then the rest
// in reverse table order), and last the palette area with every palette.
// Each Texture learns its `offset` and, when colour-indexed, the offset of
// its palette in `data_size`. Textures with a forced address get header lines.
// With `ahead`, the conversions it made while the geometry was read are
// used where they still apply.
void emit_textures(Context& ctx, Model& model, OutBuffer& out, TexturesAhead* ahead = nullptr);

// The name under which a texture with a forced address is published: the
// leading letters and digits (at most 8, at least one character) of the file
// name in `path`.
std::string texture_label(const std::string& path);
