#include "utilities/pad_to_width.h"

std::size_t character_count(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xc0u) != 0x80u)
            ++count;
    return count;
}

std::string pad_to_width(const std::string& text, std::size_t width)
{
    const std::size_t length = character_count(text);
    return length >= width ? text : text + std::string(width - length, ' ');
}
