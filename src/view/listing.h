#pragma once

#include <optional>
#include <string>
#include <vector>

#include "view/object_parts.h"
#include "view/view_object.h"

// The readable listing of an object: every item the header names (or only
// `only`), display lists command by command (unless `commands` is false, for
// a run that only checks), then the textures they draw with.
std::string object_listing(const ViewObject& object, const std::string& object_name,
                           const std::vector<PosedSkeleton>& skeletons, const ObjectItem* only, bool commands);

// The matrix a limb's list is drawn under, and the matrices in force: those of
// the skeleton that holds the limb, or of the first skeleton.
struct ListPlacement {
    Mat4 modelview;
    const std::vector<Mat4>* limb_matrices = nullptr;
};

ListPlacement place_list(const ViewObject& object, const std::vector<PosedSkeleton>& skeletons, const ObjectItem& item);
