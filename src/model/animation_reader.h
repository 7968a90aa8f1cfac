#pragma once

#include <string>

struct Context;
struct Model;

// Reads the animation file at `path` (as opened; `shown_path`, when given, is
// how messages name it) into model.animations, replacing the animations of
// an earlier file. Every frame holds one root translation, scaled by
// ctx.settings.scale, and one rotation per bone of skeleton 0, in degrees in
// [0, 360); the skeleton must have been read first. Animations that a
// "frames" line never filled are dropped. Every problem with the file stops
// the conversion through fatal_error.
void read_animations(Context& ctx, Model& model, const std::string& path,
                     const std::string& shown_path = std::string());
