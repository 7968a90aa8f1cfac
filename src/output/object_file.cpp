#include "output/object_file.h"

#include <cstring>

#include "base/messages.h"
#include "model/model.h"

static void write_manifest_entry(OutBuffer& ob, const std::string& name, uint32_t offset)
{
    ob_write_bytes(ob, name.c_str(), name.size() + 1);
    ob_write_u32(ob, offset);
}

void append_play_as_manifest(OutBuffer& ob, std::vector<Group>& groups, size_t group_count)
{
    static const char magic[] = "!PlayAsManifest0";
    ob_write_bytes(ob, magic, 16);

    const uint32_t count_at = ob.length;
    ob_write_u16(ob, 0);
    uint32_t entries = 0;
    for (size_t g = 0; g < group_count && g < groups.size(); ++g) {
        Group& group = groups[g];
        if ((group.display_list & 3) != 0)
            continue;
        // Everything after a '|' is a note for the modder, not a name.
        group.name = group.name.substr(0, group.name.find('|'));
        // Each comma-separated piece names the same list.
        size_t pieces = 0;
        size_t start = 0;
        while (start <= group.name.size()) {
            size_t end = group.name.find(',', start);
            if (end == std::string::npos)
                end = group.name.size();
            if (end > start) {
                write_manifest_entry(ob, group.name.substr(start, end - start), group.display_list);
                ++pieces;
            }
            start = end + 1;
        }
        if (pieces == 0) {
            write_manifest_entry(ob, group.name, group.display_list);
            pieces = 1;
        }
        entries += static_cast<uint32_t>(pieces);
    }
    // The count is 16 bits wide; more entries would leave a manifest that
    // reads as something else.
    if (entries > 0xFFFF)
        fatal_error("The play-as manifest would hold %u names; at most 65535 fit", entries);
    ob.bytes[count_at] = static_cast<uint8_t>(entries >> 8);
    ob.bytes[count_at + 1] = static_cast<uint8_t>(entries);
    ob_write_u16(ob, 0);  // no further records

    // The end is marked with the number of bytes to the next 16-byte boundary,
    // followed by as much of the end marker as still fits.
    if (ob.length % 16 != 0) {
        ob_write_u8(ob, static_cast<uint8_t>(16 - ob.length % 16));
        if (ob.length % 16 != 0) {
            static const char end_marker[] = "!EndPlayAsManifest!";
            ob_write_bytes(ob, end_marker, 16 - ob.length % 16);
        }
    }
}

std::string c_array_text(const OutBuffer& ob, const PointerPositions& positions)
{
    std::string text = "\nu32 zobj[]={";
    text.reserve(text.size() + ob.length / 4 * 16 + 2);
    char item[32];
    for (uint32_t offset = 0; offset + 4 <= ob.length; offset += 4) {
        if (offset != 0)
            text.push_back(',');
        const uint32_t word = ob_read_u32(ob, offset);
        if ((word >> 24) == 0x06 && is_pointer_position(positions, offset))
            std::snprintf(item, sizeof item, "(u32)(zobj+%d)", static_cast<int>((word & 0xFFFFFF) / 4));
        else
            std::snprintf(item, sizeof item, "0x%08X", word);
        text += item;
    }
    text += "};";
    return text;
}
