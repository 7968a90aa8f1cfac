#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

// Bytes that a vector makes room for stay as the allocation left them, so
// room reserved ahead of the content costs no zero-filling (and a large
// buffer's untouched pages are never faulted in).
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* at) noexcept
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// A growable byte array written big-endian, the console's byte order.
// `bytes` always holds `capacity` bytes; the first `length` are the content
// and the rest are unspecified until written (ob_resize zero-fills what it
// adds). Offsets into the buffer are the object's internal addresses.
struct OutBuffer {
    std::vector<uint8_t, UninitialisedAllocator<uint8_t>> bytes;
    uint32_t length = 0;

    uint32_t capacity() const { return static_cast<uint32_t>(bytes.size()); }
    const uint8_t* data() const { return bytes.data(); }
};

// A buffer with room for `capacity` bytes and length 0.
OutBuffer make_out_buffer(uint32_t capacity);

// Makes room for n bytes, zero-fills from the old length to n and sets the
// length to n; a smaller n simply lowers the length.
void ob_resize(OutBuffer& ob, uint32_t n);
void ob_write_bytes(OutBuffer& ob, const void* source, size_t count);
void ob_write_u8(OutBuffer& ob, uint8_t value);
void ob_write_u16(OutBuffer& ob, uint16_t value);
void ob_write_u32(OutBuffer& ob, uint32_t value);
// One display-list command: w0 then w1, each big-endian.
void ob_write_u32_pair(OutBuffer& ob, uint32_t w0, uint32_t w1);
void ob_align4(OutBuffer& ob);
void ob_align8(OutBuffer& ob);
void ob_align16(OutBuffer& ob);

// Big-endian reads of what has been written, for walking emitted lists.
uint16_t ob_read_u16(const OutBuffer& ob, uint32_t offset);
uint32_t ob_read_u32(const OutBuffer& ob, uint32_t offset);

// The upper-case C identifier for a name: a leading digit gets a '_' in front,
// a-z become A-Z, digits and A-Z stay, every other byte becomes '_'.
std::string make_identifier(std::string_view name);

// Offsets of the object's words that hold a segment pointer. Only membership
// is asked, so duplicates are harmless.
struct PointerPositions {
    std::unordered_set<uint32_t> offsets;
};

void add_pointer_position(PointerPositions& positions, uint32_t offset);
bool is_pointer_position(const PointerPositions& positions, uint32_t offset);
