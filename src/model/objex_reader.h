#pragma once

#include <string>

#include "model/read_watcher.h"

struct Context;
struct Model;

// Reads the objex geometry file at `path` into `model`, which it first
// empties: positions (scaled by ctx.settings.scale and rounded), texture
// coordinates, normals, faces, groups and per-vertex bones, and hands the
// material libraries, skeleton and animations the file names to their
// readers as their lines come. Faces name materials of model.material_table.
// Every problem with the file stops the conversion through fatal_error.
// A `watcher` hears of each material library once it is read.
void read_objex(Context& ctx, const std::string& path, Model& model, ReadWatcher* watcher = nullptr);

// Where a file named inside the geometry file at `geometry_path` is opened:
// relative names are taken from the geometry file's own folder (everything
// up to its last '/' or '\'); absolute names stay as they are.
std::string resolve_relative(const std::string& geometry_path, const std::string& named_path);
