// Fixed-width text columns for the files the program writes as tables.
#pragma once

#include <cstddef>
#include <string>

// The number of characters of a UTF-8 text (continuation bytes not counted).
std::size_t character_count(const std::string& text);

// A copy of `text` with blanks appended up to `width` characters; a text at least that long is
// returned unchanged, never cut.
std::string pad_to_width(const std::string& text, std::size_t width);
