#include "view/object_parts.h"

#include <algorithm>

Skeleton read_skeleton(const ViewObject& object, const ObjectItem& item)
{
    const uint32_t header = object_offset(object, segment_address(object, item.offset), 12, item.name, item.offset);
    Skeleton skeleton;
    const uint32_t count = read_u8(object, header + 4);
    skeleton.list_count = read_u8(object, header + 8);
    if (count == 0)
        object_fault(item.name, header + 4, "the skeleton has no limbs");
    skeleton.table = object_offset(object, read_u32(object, header), count * 4, item.name, header);

    // Records of 12 bytes, or 16 in the link format, end where the table starts.
    const uint32_t first = object_offset(object, read_u32(object, skeleton.table), 12, item.name, skeleton.table);
    if (first < skeleton.table && (skeleton.table - first) == count * 16)
        skeleton.record_size = 16;
    for (uint32_t b = 0; b < count; ++b) {
        const uint32_t at = skeleton.table + 4 * b;
        const uint32_t record = object_offset(object, read_u32(object, at), skeleton.record_size, item.name, at);
        if (record != first + b * skeleton.record_size)
            object_fault(item.name, at, "limb %u's record at 0x%08X does not follow the record before it", b,
                         read_u32(object, at));
        Limb limb;
        limb.x = static_cast<int16_t>(read_u16(object, record));
        limb.y = static_cast<int16_t>(read_u16(object, record + 2));
        limb.z = static_cast<int16_t>(read_u16(object, record + 4));
        limb.child = read_u8(object, record + 6);
        limb.sibling = read_u8(object, record + 7);
        limb.list = read_u32(object, record + 8);
        if (limb.list != 0)
            object_offset(object, limb.list, 8, item.name, record + 8);
        for (const uint8_t next : {limb.child, limb.sibling})
            if (next != no_limb && next >= count)
                object_fault(item.name, record + 6, "limb %u links to limb %u of %u", b, next, count);
        skeleton.limbs.push_back(limb);
    }
    const auto with_list =
        std::count_if(skeleton.limbs.begin(), skeleton.limbs.end(), [](const Limb& l) { return l.list != 0; });
    if (with_list != skeleton.list_count)
        object_fault(item.name, header + 8, "the header counts %u limbs with a display list, the records %u",
                     skeleton.list_count, static_cast<unsigned>(with_list));
    return skeleton;
}

std::vector<PosedLimb> rest_pose(const Skeleton& skeleton, const ObjectItem& item)
{
    std::vector<PosedLimb> pose;
    std::vector<bool> seen(skeleton.limbs.size(), false);
    int slots = 0;
    // Children before siblings, with an explicit stack: (limb, parent matrix, depth).
    struct Pending {
        uint8_t limb;
        Mat4 parent;
        int depth;
    };
    std::vector<Pending> stack = {{0, Mat4{}, 0}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (seen[p.limb])
            object_fault(item.name, item.offset, "limb %u is reached twice in the limb tree", p.limb);
        seen[p.limb] = true;
        const Limb& limb = skeleton.limbs[p.limb];
        PosedLimb posed;
        posed.limb = p.limb;
        posed.depth = p.depth;
        posed.matrix = multiply(translation(limb.x, limb.y, limb.z), p.parent);
        if (limb.list != 0)
            posed.slot = slots++;
        pose.push_back(posed);
        if (limb.sibling != no_limb)
            stack.push_back({limb.sibling, p.parent, p.depth});
        if (limb.child != no_limb)
            stack.push_back({limb.child, posed.matrix, p.depth + 1});
    }
    return pose;
}

std::vector<Mat4> limb_matrices(const std::vector<PosedLimb>& pose)
{
    std::vector<Mat4> matrices;
    for (const PosedLimb& p : pose)
        if (p.slot >= 0)
            matrices.push_back(p.matrix);
    return matrices;
}

AnimationInfo read_animation(const ViewObject& object, const ObjectItem& item, uint32_t channels)
{
    const uint32_t header = object_offset(object, segment_address(object, item.offset), 16, item.name, item.offset);
    AnimationInfo info;
    info.frames = read_u16(object, header);
    info.data = read_u32(object, header + 4);
    info.joints = read_u32(object, header + 8);
    info.constants = read_u16(object, header + 12);
    info.channels = channels;
    if (info.frames == 0)
        object_fault(item.name, header, "the animation has no frames");
    const uint32_t data = object_offset(object, info.data, info.constants * 2u, item.name, header + 4);
    const uint32_t joints = object_offset(object, info.joints, channels * 2, item.name, header + 8);
    // The frame data ends where the joint index table begins.
    const uint32_t values = joints > data ? (joints - data) / 2 : 0;
    for (uint32_t c = 0; c < channels; ++c) {
        const uint32_t index = read_u16(object, joints + 2 * c);
        if (index < info.constants)
            continue;
        if (index + uint32_t{info.frames} > values)
            object_fault(item.name, joints + 2 * c,
                         "channel %u reads %u frames from value %u, beyond the %u values of the frame data", c,
                         info.frames, index, values);
        ++info.tracks;
    }
    return info;
}

CollisionInfo read_collision(const ViewObject& object, const ObjectItem& item)
{
    const uint32_t header = object_offset(object, segment_address(object, item.offset), 44, item.name, item.offset);
    CollisionInfo info;
    for (int i = 0; i < 6; ++i)
        info.bounds[i] = static_cast<int16_t>(read_u16(object, header + 2 * i));
    info.vertices = read_u16(object, header + 12);
    info.vertex_list = read_u32(object, header + 16);
    info.polygons = read_u16(object, header + 20);
    info.polygon_list = read_u32(object, header + 24);
    info.surface_list = read_u32(object, header + 28);
    info.water_boxes = read_u16(object, header + 36);
    info.water_list = read_u32(object, header + 40);
    object_offset(object, info.vertex_list, info.vertices * 6u, item.name, header + 16);
    const uint32_t polygons = object_offset(object, info.polygon_list, info.polygons * 16u, item.name, header + 24);
    object_offset(object, info.water_list, info.water_boxes * 14u, item.name, header + 40);
    for (uint32_t p = 0; p < info.polygons; ++p) {
        const uint32_t at = polygons + 16 * p;
        info.surface_types = std::max<uint32_t>(info.surface_types, read_u16(object, at) + 1u);
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t vertex = read_u16(object, at + 2 + 2 * c) & 0x1FFF;
            if (vertex >= info.vertices)
                object_fault(item.name, at + 2 + 2 * c, "polygon %u names vertex %u of %u", p, vertex, info.vertices);
        }
    }
    object_offset(object, info.surface_list, info.surface_types * 8, item.name, header + 28);
    return info;
}

std::vector<PosedSkeleton> read_skeletons(const ViewObject& object)
{
    std::vector<PosedSkeleton> skeletons;
    for (const ObjectItem& item : object.items) {
        if (item.kind != ItemKind::Skeleton)
            continue;
        PosedSkeleton posed;
        posed.item = item;
        posed.skeleton = read_skeleton(object, item);
        posed.pose = rest_pose(posed.skeleton, item);
        posed.matrices = limb_matrices(posed.pose);
        skeletons.push_back(std::move(posed));
    }
    return skeletons;
}
