#pragma once

#include <cstddef>
#include <string>

struct Model;

// Reads the skeleton file at `path` (as opened; `shown_path`, when given, is
// how messages name it) and appends one Skeleton per block to model.skeletons.
// A file whose text begins with "limbs" is in the bracketed form: named bones
// nested by '+' and '-' lines, positions scaled by `scale` with the file's
// second axis turned into the negated z axis. Any other file is in the plain
// form: "total" blocks of unscaled "b x y z flags" lines, nested by '+' and
// '-' lines. Every bone gets its parent (a root gets no_bone). Every problem
// with the file stops the conversion through fatal_error.
void read_skeleton(Model& model, const std::string& path, const std::string& shown_path, float scale);

// Sets abs_x, abs_y, abs_z of bone `bone` of skeleton `skeleton`: its own
// position plus those of all its ancestors, in 16-bit arithmetic.
void compute_bone_absolute(Model& model, size_t skeleton, size_t bone);
