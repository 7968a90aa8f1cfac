#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/out_buffer.h"

struct Group;

// Appends the play-as manifest: the magic, one entry per name piece of every
// group that has a display list, an empty record list and the end padding.
// Group names are cut at their first '|'.
void append_play_as_manifest(OutBuffer& ob, std::vector<Group>& groups, size_t group_count);

// The object as C text: "\nu32 zobj[]={", one item per whole 32-bit word,
// "};". Words at recorded pointer positions that point into segment 6 become
// (u32)(zobj+N) expressions.
std::string c_array_text(const OutBuffer& ob, const PointerPositions& positions);
