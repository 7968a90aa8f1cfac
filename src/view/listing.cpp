#include "view/listing.h"

#include <algorithm>

#include "base/messages.h"

ListPlacement place_list(const ViewObject& object, const std::vector<PosedSkeleton>& skeletons, const ObjectItem& item)
{
    static const std::vector<Mat4> no_limbs;
    ListPlacement placement;
    placement.limb_matrices = skeletons.empty() ? &no_limbs : &skeletons.front().matrices;
    const uint32_t address = segment_address(object, item.offset);
    for (const PosedSkeleton& s : skeletons)
        for (const PosedLimb& p : s.pose)
            if (s.skeleton.limbs[p.limb].list == address) {
                placement.modelview = p.matrix;
                placement.limb_matrices = &s.matrices;
                return placement;
            }
    return placement;
}

namespace
{

struct TextureUse {
    uint32_t address = 0;
    uint8_t fmt = 0, siz = 0;
    uint32_t width = 0, height = 0;
    uint32_t palette = 0, colours = 0;
    std::vector<std::string> users;

    bool same(const TextureUse& o) const
    {
        return address == o.address && fmt == o.fmt && siz == o.siz && width == o.width && height == o.height &&
               palette == o.palette && colours == o.colours;
    }
};

class ListingSink : public ListSink
{
public:
    ListingSink(std::string& text, std::vector<TextureUse>& textures, const std::string& item, bool commands)
        : text_(text), textures_(textures), item_(item)
    {
        wants_text = commands;
    }

    void command(uint32_t offset, int depth, const std::string& line) override
    {
        text_ += format_text("  %*s0x%08X %s\n", depth * 2, "", offset_base + offset, line.c_str());
    }

    void triangle(const ViewVertex&, const ViewVertex&, const ViewVertex&, const RenderState& state) override
    {
        if (!state.texture_on || !state.texture.loaded)
            return;
        const TileState& tile = state.tiles[state.texture_tile];
        TextureUse use;
        use.address = state.texture.address;
        use.fmt = tile.fmt;
        use.siz = tile.siz;
        use.width = (tile.lrs - tile.uls) / 4u + 1;
        use.height = (tile.lrt - tile.ult) / 4u + 1;
        if (tile.fmt == 2) {
            use.palette = state.texture.palette_address;
            use.colours = state.texture.palette_colours;
        }
        auto found = std::find_if(textures_.begin(), textures_.end(), [&](const TextureUse& t) { return t.same(use); });
        if (found == textures_.end())
            found = textures_.insert(textures_.end(), use);
        if (found->users.empty() || found->users.back() != item_)
            found->users.push_back(item_);
    }

    uint32_t offset_base = 0;

private:
    std::string& text_;
    std::vector<TextureUse>& textures_;
    const std::string& item_;
};

const char* kind_name(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Texture:
        return "texture";
    case ItemKind::DisplayList:
        return "display list";
    case ItemKind::Collision:
        return "collision";
    case ItemKind::Limb:
        return "limb display list";
    case ItemKind::Animation:
        return "animation";
    case ItemKind::Skeleton:
        return "skeleton";
    }
    return "item";
}

// The header's name for a list, for the limb tree.
std::string list_name(const ViewObject& object, uint32_t address)
{
    for (const ObjectItem& item : object.items)
        if ((item.kind == ItemKind::Limb || item.kind == ItemKind::DisplayList) &&
            segment_address(object, item.offset) == address)
            return " " + item.name;
    return "";
}

void list_skeleton(const ViewObject& object, const PosedSkeleton& s, std::string& text)
{
    text += format_text(", %zu limbs, %u with a display list, %u-byte records\n", s.skeleton.limbs.size(),
                        unsigned{s.skeleton.list_count}, s.skeleton.record_size);
    for (const PosedLimb& p : s.pose) {
        const Limb& limb = s.skeleton.limbs[p.limb];
        text += format_text("  %*slimb %u at (%d,%d,%d)", p.depth * 2, "", unsigned{p.limb}, limb.x, limb.y, limb.z);
        if (p.slot >= 0)
            text += format_text(", matrix %d, list 0x%08X%s", p.slot, limb.list, list_name(object, limb.list).c_str());
        text += "\n";
    }
}

}  // namespace

std::string object_listing(const ViewObject& object, const std::string& object_name,
                           const std::vector<PosedSkeleton>& skeletons, const ObjectItem* only, bool commands)
{
    std::string text = format_text("%s: 0x%zX bytes at 0x%08X, %zu items\n", object_name.c_str(), object.bytes.size(),
                                   object.base_offset, object.items.size());
    std::vector<TextureUse> textures;
    const uint32_t channels = skeletons.empty() ? 0 : 3 + 3 * static_cast<uint32_t>(skeletons[0].skeleton.limbs.size());
    for (const ObjectItem& item : object.items) {
        if (only != nullptr && &item != only)
            continue;
        const uint32_t address = segment_address(object, item.offset);
        text += format_text("\n%s: %s at 0x%08X", item.name.c_str(), kind_name(item.kind), address);
        switch (item.kind) {
        case ItemKind::Texture:
            object_offset(object, address, 1, item.name, item.offset);
            text += "\n";
            break;
        case ItemKind::DisplayList:
        case ItemKind::Limb: {
            text += "\n";
            const ListPlacement placement = place_list(object, skeletons, item);
            ListingSink sink(text, textures, item.name, commands);
            sink.offset_base = object.base_offset;
            walk_display_list(object, item.name, item.offset, placement.modelview, *placement.limb_matrices, sink);
            break;
        }
        case ItemKind::Collision: {
            const CollisionInfo c = read_collision(object, item);
            text += format_text(", %u vertices, %u polygons, %u surface types, %u water boxes, "
                                "bounds (%d,%d,%d) to (%d,%d,%d)\n",
                                c.vertices, c.polygons, c.surface_types, c.water_boxes, c.bounds[0], c.bounds[1],
                                c.bounds[2], c.bounds[3], c.bounds[4], c.bounds[5]);
            break;
        }
        case ItemKind::Animation: {
            if (skeletons.empty())
                object_fault(item.name, item.offset, "an animation needs a skeleton to name its channels");
            const AnimationInfo a = read_animation(object, item, channels);
            text += format_text(", %u frames, %u channels: %u constant values, %u tracks; frame data at 0x%08X, "
                                "joint indices at 0x%08X\n",
                                a.frames, a.channels, a.constants, a.tracks, a.data, a.joints);
            break;
        }
        case ItemKind::Skeleton:
            for (const PosedSkeleton& s : skeletons)
                if (s.item.offset == item.offset)
                    list_skeleton(object, s, text);
            break;
        }
    }
    if (!textures.empty()) {
        text += "\nTextures\n";
        for (const TextureUse& t : textures) {
            text += format_text("  0x%08X %s %s %u x %u", t.address, texel_format_name(t.fmt), texel_size_name(t.siz),
                                t.width, t.height);
            if (t.fmt == 2)
                text += format_text(", palette 0x%08X of %u colours", t.palette, t.colours);
            text += ", drawn by";
            for (const std::string& user : t.users)
                text += " " + user;
            text += "\n";
        }
    }
    return text;
}
