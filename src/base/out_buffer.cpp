#include "base/out_buffer.h"

#include <cstring>
#include <new>

#include "base/messages.h"

// Far beyond any object the console can load; a request above it is a fault
// in a stage, and stopping beats wrapping the 32-bit length.
static constexpr uint32_t max_buffer_length = 0x40000000;

OutBuffer make_out_buffer(uint32_t capacity)
{
    OutBuffer ob;
    ob.bytes.regrow(capacity, 0);
    return ob;
}

// Grows so that n bytes fit: to 1024 from nothing, else to one and a half
// times what is needed, which keeps appending amortised constant.
static void reserve_for(OutBuffer& ob, uint64_t n)
{
    if (n > max_buffer_length)
        fatal_error("Ran out of memory!");
    if (n < ob.capacity())
        return;
    uint64_t capacity = (ob.capacity() == 0 && n < 1024) ? 1024 : n + n / 2;
    ob.bytes.regrow(static_cast<size_t>(capacity), ob.length);
}

void ob_resize(OutBuffer& ob, uint32_t n)
{
    if (n <= ob.length) {
        ob.length = n;
        return;
    }
    reserve_for(ob, n);
    std::memset(ob.bytes.data() + ob.length, 0, n - ob.length);
    ob.length = n;
}

void ob_write_bytes(OutBuffer& ob, const void* source, size_t count)
{
    if (count == 0)
        return;
    const uint64_t n = uint64_t{ob.length} + count;
    reserve_for(ob, n);
    std::memcpy(ob.bytes.data() + ob.length, source, count);
    ob.length = static_cast<uint32_t>(n);
}

void ob_write_u8(OutBuffer& ob, uint8_t value)
{
    ob_write_bytes(ob, &value, 1);
}

void ob_write_u16(OutBuffer& ob, uint16_t value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    ob_write_bytes(ob, b, sizeof b);
}

void ob_write_u32(OutBuffer& ob, uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    ob_write_bytes(ob, b, sizeof b);
}

void ob_write_u32_pair(OutBuffer& ob, uint32_t w0, uint32_t w1)
{
    ob_write_u32(ob, w0);
    ob_write_u32(ob, w1);
}

static void align_to(OutBuffer& ob, uint32_t alignment)
{
    const uint32_t rest = ob.length % alignment;
    if (rest != 0)
        ob_resize(ob, ob.length + (alignment - rest));
}

void ob_align4(OutBuffer& ob) { align_to(ob, 4); }
void ob_align8(OutBuffer& ob) { align_to(ob, 8); }
void ob_align16(OutBuffer& ob) { align_to(ob, 16); }

uint16_t ob_read_u16(const OutBuffer& ob, uint32_t offset)
{
    const uint8_t* p = ob.bytes.data() + offset;
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t ob_read_u32(const OutBuffer& ob, uint32_t offset)
{
    const uint8_t* p = ob.bytes.data() + offset;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

std::string make_identifier(std::string_view name)
{
    std::string id;
    id.reserve(name.size() + 1);
    if (!name.empty() && name[0] >= '0' && name[0] <= '9')
        id.push_back('_');
    for (const char c : name) {
        if (c >= 'a' && c <= 'z')
            id.push_back(static_cast<char>(c - 'a' + 'A'));
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            id.push_back(c);
        else
            id.push_back('_');
    }
    return id;
}

void add_pointer_position(PointerPositions& positions, uint32_t offset)
{
    try {
        positions.offsets.insert(offset);
    } catch (const std::bad_alloc&) {
        fatal_error("Ran out of memory!");
    }
}

bool is_pointer_position(const PointerPositions& positions, uint32_t offset)
{
    return positions.offsets.count(offset) != 0;
}
