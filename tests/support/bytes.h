#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Builds expected object bytes big-endian, one field per call, so a test can
// write the layout it expects field by field.
struct Bytes {
    std::string data;

    Bytes& u8(uint8_t v)
    {
        data.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v)); }
    Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v)); }
    // One display-list command.
    Bytes& cmd(uint32_t w0, uint32_t w1) { return u32(w0).u32(w1); }
    // One 16-byte vertex record.
    Bytes& vertex(int16_t x, int16_t y, int16_t z, uint8_t limb, int16_t s, int16_t t, int8_t nx, int8_t ny, int8_t nz)
    {
        u16(static_cast<uint16_t>(x)).u16(static_cast<uint16_t>(y)).u16(static_cast<uint16_t>(z));
        u8(limb).u8(0).u16(static_cast<uint16_t>(s)).u16(static_cast<uint16_t>(t));
        return u8(static_cast<uint8_t>(nx)).u8(static_cast<uint8_t>(ny)).u8(static_cast<uint8_t>(nz)).u8(0xFF);
    }
    Bytes& text(const std::string& s)
    {
        data += s;
        return *this;
    }
    Bytes& zeros(size_t n)
    {
        data.append(n, '\0');
        return *this;
    }
    Bytes& append(const Bytes& other)
    {
        data += other.data;
        return *this;
    }
    size_t size() const { return data.size(); }
};

// Bytes as hex, eight to a line with their offset, so a failing comparison
// shows where the two differ.
inline std::string hex_dump(const std::string& bytes)
{
    std::string out;
    char cell[32];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            std::snprintf(cell, sizeof cell, "\n%04zX:", i);
            out += cell;
        }
        std::snprintf(cell, sizeof cell, " %02X", static_cast<uint8_t>(bytes[i]));
        out += cell;
    }
    return out;
}

// The full state of the default material (white, opaque, lit, culled,
// untextured), as every list opens with it.
inline Bytes default_material()
{
    return Bytes()
        .cmd(0xE7000000, 0)           // G_RDPPIPESYNC
        .cmd(0xD7000000, 0)           // G_TEXTURE off
        .cmd(0xFC327FFF, 0xFFFFFC38)  // combiner: primitive x shade, then the combined colour
        .cmd(0xE200001C, 0xC8112078)  // render mode: opaque, anti-aliased
        .cmd(0xD9F1FFFF, 0)           // clear lighting and texture generation
        .cmd(0xD9FFFFFF, 0x00830400)  // set clipping, fog, lighting, back-face culling
        .cmd(0xFA000000, 0xFFFFFFFF);  // primitive colour white
}
