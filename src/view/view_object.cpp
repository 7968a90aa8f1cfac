#include "view/view_object.h"

#include <cstdarg>
#include <cstring>
#include <filesystem>

#include "base/input_file.h"
#include "base/messages.h"

void object_fault(const std::string& item, uint32_t offset, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string what(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    va_start(args, format);
    std::vsnprintf(what.data(), what.size() + 1, format, args);
    va_end(args);
    fatal_error("'%s' at offset 0x%06X: %s", item.c_str(), offset, what.c_str());
}

bool in_object_segment(const ViewObject& object, uint32_t address)
{
    return (address >> 24) == (object.base_offset >> 24);
}

uint32_t object_offset(const ViewObject& object, uint32_t address, uint32_t length, const std::string& item,
                       uint32_t at)
{
    const uint64_t size = object.bytes.size();
    if (!in_object_segment(object, address) || address < object.base_offset ||
        uint64_t{address - object.base_offset} + length > size)
        object_fault(item, at, "address 0x%08X (0x%X bytes) lies outside the object of 0x%X bytes", address, length,
                     static_cast<unsigned>(size));
    return address - object.base_offset;
}

uint8_t read_u8(const ViewObject& object, uint32_t offset)
{
    return offset < object.bytes.size() ? object.bytes[offset] : 0;
}

uint16_t read_u16(const ViewObject& object, uint32_t offset)
{
    return static_cast<uint16_t>(read_u8(object, offset) << 8 | read_u8(object, offset + 1));
}

uint32_t read_u32(const ViewObject& object, uint32_t offset)
{
    return uint32_t{read_u16(object, offset)} << 16 | read_u16(object, offset + 2);
}

// The kind of the items under a section banner.
static std::optional<ItemKind> section_kind(const std::string& title)
{
    static const struct {
        const char* title;
        ItemKind kind;
    } sections[] = {
        {"Assembly Textures", ItemKind::Texture}, {"Display Lists", ItemKind::DisplayList},
        {"Collisions", ItemKind::Collision},      {"Hierarchical Display Lists", ItemKind::Limb},
        {"Animations", ItemKind::Animation},      {"Hierarchies (Skeletons)", ItemKind::Skeleton},
    };
    for (const auto& s : sections)
        if (title == s.title)
            return s.kind;
    return std::nullopt;
}

static std::string trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

static bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The offset of an address in a header line: 0x06XXXXXX or (u32)(zobj+N).
static std::optional<uint32_t> header_offset(const std::string& value)
{
    unsigned long number = 0;
    char rest = 0;
    if (std::sscanf(value.c_str(), "(u32)(zobj+%lu)%c", &number, &rest) == 1 && number <= 0x3FFFFF)
        return static_cast<uint32_t>(number * 4);
    if (value.size() == 10 && std::sscanf(value.c_str(), "0x%lx%c", &number, &rest) == 1)
        return static_cast<uint32_t>(number & 0xFFFFFF);
    return std::nullopt;
}

// The animation lines of a large animation carry a warning behind the address.
static std::string without_warning(std::string text)
{
    const size_t at = text.find(" /* warning:");
    if (at != std::string::npos)
        text.resize(at);
    return trim(text);
}

// The words of "u32 zobj[]={...};": numbers, and pointers written relative
// to the array, which always stands at 0x06000000.
static void parse_c_array(const std::string& text, size_t start, const std::string& path, ViewObject& object)
{
    const size_t end = text.find("};", start);
    if (end == std::string::npos)
        fatal_error("The C array in '%s' has no end", path.c_str());
    object.bytes.clear();
    object.bytes.reserve((end - start) / 3);
    size_t at = start;
    while (at < end) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos || comma > end)
            comma = end;
        const std::string item = trim(text.substr(at, comma - at));
        uint32_t word = 0;
        unsigned long number = 0;
        char rest = 0;
        if (std::sscanf(item.c_str(), "(u32)(zobj+%lu)%c", &number, &rest) == 1 && number <= 0x3FFFFF)
            word = 0x06000000 + static_cast<uint32_t>(number * 4);
        else if (item.size() == 10 && std::sscanf(item.c_str(), "0x%lx%c", &number, &rest) == 1)
            word = static_cast<uint32_t>(number);
        else if (!(item.empty() && comma == end && object.bytes.empty()))
            fatal_error("The C array in '%s' holds something that is not a word: '%s'", path.c_str(), item.c_str());
        if (!item.empty())
            for (int shift = 24; shift >= 0; shift -= 8)
                object.bytes.push_back(static_cast<uint8_t>(word >> shift));
        at = comma + 1;
    }
    object.base_offset = 0x06000000;
}

void parse_header_text(const std::string& text, const std::string& path, ViewObject& object)
{
    std::optional<ItemKind> kind;
    const size_t array_at = text.find("u32 zobj[]={");
    const std::string lines = array_at == std::string::npos ? text : text.substr(0, array_at);
    size_t at = 0;
    while (at < lines.size()) {
        size_t end = lines.find('\n', at);
        if (end == std::string::npos)
            end = lines.size();
        const std::string line = trim(lines.substr(at, end - at));
        at = end + 1;

        // Banners: "/* Title * * * */" or "~ Title ~ ~ ~ ~"; the base offset line.
        unsigned long base = 0;
        if (std::sscanf(line.c_str(), "/* Base Offset: 0x%lx */", &base) == 1 ||
            std::sscanf(line.c_str(), "~ Base Offset: 0x%lx ~ ~", &base) == 1) {
            object.base_offset = static_cast<uint32_t>(base);
            continue;
        }
        if (starts_with(line, "/* ") && line.size() > 12 && line.compare(line.size() - 9, 9, " * * * */") == 0) {
            kind = section_kind(line.substr(3, line.size() - 12));
            continue;
        }
        if (starts_with(line, "~ ") && line.size() > 10 && line.compare(line.size() - 8, 8, " ~ ~ ~ ~") == 0) {
            kind = section_kind(line.substr(2, line.size() - 10));
            continue;
        }
        if (!kind)
            continue;

        ObjectItem item;
        item.kind = *kind;
        if (starts_with(line, "#define")) {
            // #define NAME ADDRESS [warning]
            const std::string rest = trim(line.substr(7));
            const size_t space = rest.find_first_of(" \t");
            if (space == std::string::npos)
                continue;
            item.name = rest.substr(0, space);
            const std::string value = without_warning(rest.substr(space));
            const std::optional<uint32_t> offset = header_offset(value.substr(0, value.find_first_of(" \t")));
            if (!offset)
                continue;
            item.offset = *offset;
        } else if (starts_with(line, "0x") && line.size() > 10) {
            // 0x06XXXXXX    name
            const std::optional<uint32_t> offset = header_offset(line.substr(0, 10));
            if (!offset)
                continue;
            item.offset = *offset;
            item.name = without_warning(line.substr(10));
        } else {
            continue;
        }
        object.items.push_back(item);
    }
    if (array_at != std::string::npos)
        parse_c_array(text, array_at + std::strlen("u32 zobj[]={"), path, object);
}

ViewObject read_view_object(const std::string& object_path, const std::optional<std::string>& header_path)
{
    ViewObject object;
    std::string bytes;
    if (!read_input_file(object_path, bytes))
        fatal_error("Couldn't open '%s'!", object_path.c_str());

    // A C file from -cz holds the header lines and the array in one text;
    // a binary object has its header beside it.
    const bool c_file = bytes.find("u32 zobj[]={") != std::string::npos;
    if (c_file)
        parse_header_text(bytes, object_path, object);
    else
        object.bytes.assign(bytes.begin(), bytes.end());
    if (header_path || !c_file) {
        const std::string header =
            header_path ? *header_path : (std::filesystem::path(object_path).parent_path() / "obj.h").string();
        std::string text;
        if (!read_input_file(header, text))
            fatal_error("Couldn't open '%s'!", header.c_str());
        // The header names the items; the bytes stay those of the object.
        ViewObject named;
        parse_header_text(text, header, named);
        object.items = std::move(named.items);
        object.base_offset = named.base_offset;
    }
    if (object.items.empty())
        fatal_error("The header of '%s' names no item", object_path.c_str());
    return object;
}
