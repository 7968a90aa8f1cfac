#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

// The bytes of an OutBuffer: an array whose room is allocated without being
// filled, so room reserved ahead of the content costs nothing (a large
// buffer's untouched pages are never even faulted in) in any build. It grows
// in place where the allocator can: a large buffer's pages are then moved,
// not copied.
class ByteStorage {
public:
    ByteStorage() = default;
    ByteStorage(ByteStorage&&) noexcept = default;
    ByteStorage& operator=(ByteStorage&&) noexcept = default;
    // A copy takes the whole room (unsigned bytes may be copied unwritten).
    ByteStorage(const ByteStorage& other) { *this = other; }
    ByteStorage& operator=(const ByteStorage& other)
    {
        if (this == &other)
            return *this;
        regrow(other.room_, 0);
        if (room_ > 0)
            std::memcpy(bytes_.get(), other.bytes_.get(), room_);
        return *this;
    }

    uint8_t& operator[](size_t i) { return bytes_[i]; }
    const uint8_t& operator[](size_t i) const { return bytes_[i]; }
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint8_t* begin() { return bytes_.get(); }
    const uint8_t* begin() const { return bytes_.get(); }
    size_t size() const { return room_; }

    // Room for `room` bytes, keeping the first `keep` of what is there.
    void regrow(size_t room, size_t keep)
    {
        void* grown = nullptr;
        if (keep == 0) {
            bytes_.reset();
            grown = std::malloc(room == 0 ? 1 : room);
        } else {
            grown = std::realloc(bytes_.get(), room == 0 ? 1 : room);
        }
        if (grown == nullptr)
            throw std::bad_alloc();
        static_cast<void>(bytes_.release());
        bytes_.reset(static_cast<uint8_t*>(grown));
        room_ = room;
    }

private:
    struct Free {
        void operator()(uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<uint8_t[], Free> bytes_;
    size_t room_ = 0;
};

// A growable byte array written big-endian, the console's byte order.
// `bytes` holds `capacity` bytes; the first `length` are the content and the
// rest are unspecified until written (ob_resize zero-fills what it adds).
// Offsets into the buffer are the object's internal addresses.
struct OutBuffer {
    ByteStorage bytes;
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
