// Single-precision floats as four little-endian bytes: the layout of every raw float file the
// program reads and writes, whatever the machine's own byte order.
#pragma once

#include <cstdint>
#include <cstring>

inline void put_float(char* bytes, float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(static_cast<unsigned char>(bits >> (8 * i)));
}

inline float get_float(const unsigned char* bytes)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
