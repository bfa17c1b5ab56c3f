#include "surface/file_text.h"

#include <utility>

namespace {

constexpr char32_t replacement_character = 0xFFFD;

bool is_character(char32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }

void append_utf8(std::string& text, char32_t c)
{
    if (!is_character(c))
        c = replacement_character;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-8 as the standard defines it: shortest forms only, no surrogates, nothing beyond U+10FFFF.
bool is_valid_utf8(const std::string& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < 0x80)
            continue;
        int continuations = 0;
        char32_t c = 0;
        char32_t smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            continuations = 1;
            c = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            continuations = 2;
            c = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            continuations = 3;
            c = lead & 0x07;
            smallest = 0x10000;
        } else {
            return false;
        }
        if (end - p < continuations)
            return false;
        for (int k = 0; k < continuations; ++k, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (*p & 0x3F);
        }
        if (c < smallest || !is_character(c))
            return false;
    }
    return true;
}

char32_t code_unit(const std::string& bytes, std::size_t at, std::size_t size, bool big_endian)
{
    char32_t unit = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[at + (big_endian ? k : size - 1 - k)]);
        unit = (unit << 8) | byte;
    }
    return unit;
}

std::string utf16_as_utf8(const std::string& bytes, std::size_t start, bool big_endian)
{
    std::string text;
    std::size_t at = start;
    for (; at + 2 <= bytes.size(); at += 2) {
        const char32_t unit = code_unit(bytes, at, 2, big_endian);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && at + 4 <= bytes.size()) {
            const char32_t low = code_unit(bytes, at + 2, 2, big_endian);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        append_utf8(text, unit); // an unpaired surrogate becomes U+FFFD there
    }
    if (at < bytes.size())
        append_utf8(text, replacement_character);
    return text;
}

std::string utf32_as_utf8(const std::string& bytes, std::size_t start, bool big_endian)
{
    std::string text;
    std::size_t at = start;
    for (; at + 4 <= bytes.size(); at += 4)
        append_utf8(text, code_unit(bytes, at, 4, big_endian));
    if (at < bytes.size())
        append_utf8(text, replacement_character);
    return text;
}

std::string latin1_as_utf8(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        append_utf8(text, static_cast<unsigned char>(byte));
    return text;
}

bool starts_with(const std::string& bytes, const char* mark, std::size_t size)
{
    return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
}

} // namespace

std::string file_text_as_utf8(std::string bytes)
{
    if (starts_with(bytes, "\xEF\xBB\xBF", 3))
        bytes.erase(0, 3);
    if (is_valid_utf8(bytes))
        return bytes;
    // The UTF-32 marks first: the little-endian one begins like the UTF-16 one.
    if (starts_with(bytes, "\xFF\xFE\0\0", 4))
        return utf32_as_utf8(bytes, 4, false);
    if (starts_with(bytes, "\0\0\xFE\xFF", 4))
        return utf32_as_utf8(bytes, 4, true);
    if (starts_with(bytes, "\xFF\xFE", 2))
        return utf16_as_utf8(bytes, 2, false);
    if (starts_with(bytes, "\xFE\xFF", 2))
        return utf16_as_utf8(bytes, 2, true);
    return latin1_as_utf8(bytes);
}

WholeFileRead read_file_text_lines(const std::string& path, std::uint64_t limit,
                                   std::vector<std::string>& lines)
{
    std::string bytes;
    const WholeFileRead result = read_whole_file(path, limit, bytes);
    if (result != WholeFileRead::read)
        return result;
    const std::string text = file_text_as_utf8(std::move(bytes));
    std::vector<std::string> read;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            read.push_back(text.substr(start));
            break;
        }
        read.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    lines = std::move(read);
    return WholeFileRead::read;
}
