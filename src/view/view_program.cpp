#include "view/view_program.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

#include "base/messages.h"
#include "view/listing.h"
#include "view/object_parts.h"
#include "view/render.h"
#include "view/view_object.h"

namespace
{

struct ViewOptions {
    std::string object_path;
    std::optional<std::string> header_path;
    std::optional<std::string> png_path;
    int size = 256;
    bool list = false;
    std::optional<std::string> item;
};

constexpr int min_size = 16, max_size = 2048;

ViewOptions parse_view_options(const std::vector<std::string>& args)
{
    ViewOptions options;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                fatal_error("'%s' needs a value", a.c_str());
            return args[++i];
        };
        if (a == "--png") {
            options.png_path = value();
        } else if (a == "--size") {
            const std::string& text = value();
            char* end = nullptr;
            const long n = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || n < min_size || n > max_size)
                fatal_error("The picture size must be a whole number from %d to %d: '%s'", min_size, max_size,
                            text.c_str());
            options.size = static_cast<int>(n);
        } else if (a == "--list") {
            options.list = true;
        } else if (a == "--item") {
            options.item = value();
        } else if (a.size() > 1 && a[0] == '-') {
            fatal_error("Unknown option '%s'", a.c_str());
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty() || paths.size() > 2)
        fatal_error("Invalid arguments!");
    options.object_path = paths[0];
    if (paths.size() == 2)
        options.header_path = paths[1];
    // Without an output, the listing is what the user sees.
    if (!options.png_path)
        options.list = true;
    return options;
}

std::vector<DrawCall> draw_calls(const ViewObject& object, const std::vector<PosedSkeleton>& skeletons,
                                 const ObjectItem* only)
{
    std::vector<DrawCall> calls;
    auto add_list = [&](const ObjectItem& item) {
        const ListPlacement placement = place_list(object, skeletons, item);
        calls.push_back({item.name, item.offset, placement.modelview, placement.limb_matrices});
    };
    auto add_skeleton = [&](const PosedSkeleton& s) {
        for (const PosedLimb& p : s.pose) {
            const uint32_t list = s.skeleton.limbs[p.limb].list;
            if (list != 0)
                calls.push_back({s.item.name, list - object.base_offset, p.matrix, &s.matrices});
        }
    };
    for (const ObjectItem& item : object.items) {
        if (only != nullptr && &item != only)
            continue;
        if (item.kind == ItemKind::DisplayList || (only != nullptr && item.kind == ItemKind::Limb))
            add_list(item);
        else if (item.kind == ItemKind::Skeleton)
            for (const PosedSkeleton& s : skeletons)
                if (s.item.offset == item.offset)
                    add_skeleton(s);
    }
    if (only != nullptr && calls.empty())
        fatal_error("'%s' is a %s; only display lists and skeletons can be drawn", only->name.c_str(),
                    only->kind == ItemKind::Texture     ? "texture"
                    : only->kind == ItemKind::Animation ? "animation"
                                                        : "collision");
    return calls;
}

}  // namespace

std::string view_usage_text(const std::string& program)
{
    return "usage: " + program +
           " OBJECT [HEADER] [--png OUT.png] [--size N] [--list] [--item NAME]\n"
           "\n"
           "Reads an object written by tessaloom and the header text that names its items\n"
           "(HEADER, by default obj.h beside OBJECT; a C file written with -cz holds both and\n"
           "is given alone), checks every item, and shows what the object holds.\n"
           "\n"
           "  --png OUT.png  draw every display list and skeleton (rest pose) in three views,\n"
           "                 front, side and top, each N pixels square\n"
           "  --size N       the side of each view, 16 to 2048 (default 256)\n"
           "  --list         list every item: display lists command by command, textures,\n"
           "                 limb trees, animations, collision data (the default without --png)\n"
           "  --item NAME    only the item of that name, as the header writes it\n"
           "\n"
           "A fault in the object (a command that cannot be decoded, an address outside the\n"
           "object, a vertex that was never loaded, ...) is reported with the item and the\n"
           "offset, and the exit code is 1.\n";
}

int run_view(const std::vector<std::string>& args)
{
    const std::string program = args.empty() ? std::string("tessaloom-view") : args[0];
    if (args.size() < 2) {
        std::fputs(view_usage_text(program).c_str(), stdout);
        return 0;
    }
    try {
        const ViewOptions options = parse_view_options(args);
        const ViewObject object = read_view_object(options.object_path, options.header_path);
        const ObjectItem* only = nullptr;
        if (options.item) {
            for (const ObjectItem& item : object.items)
                if (item.name == *options.item)
                    only = &item;
            if (only == nullptr)
                fatal_error("The header names no item '%s'", options.item->c_str());
        }
        const std::vector<PosedSkeleton> skeletons = read_skeletons(object);
        // The listing walks (and so checks) every item before anything is written.
        const std::string listing = object_listing(object, options.object_path, skeletons, only, options.list);
        if (options.png_path) {
            const Picture picture = render_views(object, draw_calls(object, skeletons, only), options.size);
            write_png(picture, *options.png_path);
        }
        if (options.list)
            std::fputs(listing.c_str(), stdout);
        return 0;
    } catch (const FatalError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error: %s\n", error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error: Ran out of memory!\n");
        return 1;
    }
}
