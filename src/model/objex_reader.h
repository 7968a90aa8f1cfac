#pragma once

#include <string>

struct Context;
struct Model;
class TextureLoading;

// Reads the objex geometry file at `path` into `model`, which it first
// empties: positions (scaled by ctx.settings.scale and rounded), texture
// coordinates, normals, faces, groups and per-vertex bones, and hands the
// material libraries, skeleton and animations the file names to their
// readers as their lines come. Faces name materials of model.material_table.
// Every problem with the file stops the conversion through fatal_error.
void read_objex(Context& ctx, const std::string& path, Model& model);

// The same, with the texture images of the material libraries loaded by
// `textures`, which settles them before the reading returns; its second
// thread may go on with work for its watcher after that.
void read_objex(Context& ctx, const std::string& path, Model& model, TextureLoading& textures);

// Where a file named inside the geometry file at `geometry_path` is opened:
// relative names are taken from the geometry file's own folder (everything
// up to its last '/' or '\'); absolute names stay as they are.
std::string resolve_relative(const std::string& geometry_path, const std::string& named_path);
