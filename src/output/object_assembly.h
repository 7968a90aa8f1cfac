#pragma once

#include <string>

struct Context;
struct Model;
class TexturesAhead;

// Lays the whole object out, section by section, writes its header lines
// and then the object itself: a binary file at `output_path`, or with
// embed_c the C array into the log stream. `ahead` holds textures converted
// while the geometry was read, if any.
void assemble_object(Context& ctx, Model& model, const std::string& output_path, bool link_format,
                     bool has_animations, TexturesAhead* ahead = nullptr);
