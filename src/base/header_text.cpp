#include "base/header_text.h"

#include "base/context.h"
#include "base/messages.h"
#include "base/out_buffer.h"

void log_banner(Context& ctx, const char* title)
{
    if (ctx.settings.write_header)
        log_printf(ctx.log, "%s/* %s * * * */%s", "\r\n", title, "\r\n");
    else
        log_printf(ctx.log, "%s ~ %s ~ ~ ~ ~%s", "\r\n", title, "\r\n");
}

void log_item(Context& ctx, const char* prefix, const std::string& name, uint32_t offset, const char* suffix)
{
    // Addresses are printed as segment 6 with six hex digits; an object that
    // grows past them cannot be addressed at all.
    if (offset > max_object_offset)
        fatal_error("The object is larger than 16 MiB: '%s' would lie at offset 0x%X", name.c_str(), offset);
    if (!ctx.settings.write_header)
        log_printf(ctx.log, "     0x06%06X    %s%s%s", offset, name.c_str(), suffix, "\r\n");
    else if (ctx.settings.embed_c)
        log_printf(ctx.log, "     #define   %s%s     (u32)(zobj+%d)%s%s", prefix, make_identifier(name).c_str(),
                   static_cast<int>(offset / 4), suffix, "\r\n");
    else
        log_printf(ctx.log, "     #define   %s%s     0x06%06X%s%s", prefix, make_identifier(name).c_str(), offset,
                   suffix, "\r\n");
}

void log_base_offset(Context& ctx)
{
    if (ctx.settings.write_header)
        log_printf(ctx.log, "%s/* Base Offset: 0x%08X */%s", "\r\n", ctx.settings.base_offset, "\r\n");
    else
        log_printf(ctx.log, "%s ~ Base Offset: 0x%08X ~ ~%s", "\r\n", ctx.settings.base_offset, "\r\n");
}
