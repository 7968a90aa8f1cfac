#include "driver/pipeline.h"

#include <cstdio>
#include <new>

#include "base/platform.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "model/texture_loading.h"
#include "output/object_assembly.h"
#include "prep/limb_split.h"
#include "prep/uv_fix.h"
#include "texture/texture_ahead.h"

int run_conversion(Context& ctx, const CommandLine& command_line)
{
    ctx.settings = command_line.settings;
    // The header (with embed_c the output file itself) replaces an earlier
    // one only once the conversion is complete, so a failed conversion leaves
    // the header that matches the object beside it. Standard output still
    // shows the text as it is written.
    open_log(ctx.log, command_line.header_path ? &*command_line.header_path : nullptr, true);

    {
        // The model, with its material table, is released once the object is written.
        Model model;
        // Stages, in order: read the geometry (with what it names), fix UV
        // overflows when asked, split rigged meshes into limbs, assemble and
        // write the object. The texture images of the material libraries
        // are loaded, and their textures converted, on a second core while
        // the geometry is still read.
        TexturesAhead textures_ahead(ctx);
        TextureLoading texture_loading(ctx, &textures_ahead, true);
        read_objex(ctx, command_line.input_path, model, texture_loading);
        if (ctx.settings.fix_uv)
            fix_uv_overflow(model);
        else
            warn_uv_overflow(ctx.platform, model);
        split_rigged_mesh(model);
        assemble_object(ctx, model, command_line.output_path, command_line.link_format, !model.animations.empty(),
                        &textures_ahead);
    }

    std::fflush(stdout);
    if (ctx.settings.embed_c) {
        ctx.platform.message_box("Information", "Conversion successful!", MessageIcon::Information);
        return 0;
    }
    const std::optional<std::string> log_text = read_log_text(ctx.log);
    close_log(ctx.log);
    return ctx.platform.run_log_window(log_text.value_or(std::string()));
}

int run_program(Platform& platform, const std::vector<std::string>& args)
{
    try {
        if (args.size() < 4)
            return platform.run_main_window(args.empty() ? std::string("tessaloom") : args[0]);
        Context ctx(platform);
        const CommandLine command_line = parse_command_line(args);
        return run_conversion(ctx, command_line);
    } catch (const FatalError& error) {
        // The context is gone by now, and with it the unfinished header:
        // what was written before the error reached standard output.
        std::fflush(stdout);
        // An empty message was already reported on standard output.
        if (error.what()[0] != '\0')
            platform.message_box("Error", error.what(), MessageIcon::Warning);
        return 1;
    } catch (const std::bad_alloc&) {
        // Beyond the data model; still a message and exit code 1, not an abort.
        std::fflush(stdout);
        platform.message_box("Error", "Ran out of memory!", MessageIcon::Warning);
        return 1;
    }
}
