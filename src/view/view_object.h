#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An object file as the viewer sees it: its bytes, the base offset its
// pointers were written for, and the items that its header text names.

enum class ItemKind { Texture, DisplayList, Collision, Limb, Animation, Skeleton };

struct ObjectItem {
    std::string name;  // as the header writes it: DL_HEAD, or the raw name of a plain listing
    ItemKind kind = ItemKind::DisplayList;
    uint32_t offset = 0;  // from the object's first byte
};

struct ViewObject {
    std::vector<uint8_t> bytes;
    uint32_t base_offset = 0x06000000;
    std::vector<ObjectItem> items;
};

// Reads OBJECT and the header text beside it (`header`, or obj.h in the
// object's folder). A C file written with -cz holds both; it may be given
// as the object alone.
ViewObject read_view_object(const std::string& object_path, const std::optional<std::string>& header_path);

// Parses header text (any of the three forms, with or without the C array)
// into `object`; fills `object.bytes` when the text holds the C array.
void parse_header_text(const std::string& text, const std::string& path, ViewObject& object);

// Every check of an object's contents reports through this: the item, the
// offset of the fault within the object, and what is wrong.
[[noreturn]] void object_fault(const std::string& item, uint32_t offset, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The object offset of `length` bytes at segment address `address`, or a
// fault naming the item and the offset of the word that held the address.
uint32_t object_offset(const ViewObject& object, uint32_t address, uint32_t length, const std::string& item,
                       uint32_t at);

// Whether `address` lies in the object's segment at all (a bank texture in
// another segment is legitimate and simply not drawn).
bool in_object_segment(const ViewObject& object, uint32_t address);

uint8_t read_u8(const ViewObject& object, uint32_t offset);
uint16_t read_u16(const ViewObject& object, uint32_t offset);
uint32_t read_u32(const ViewObject& object, uint32_t offset);

// The segment address of an object offset.
inline uint32_t segment_address(const ViewObject& object, uint32_t offset)
{
    return object.base_offset + offset;
}
