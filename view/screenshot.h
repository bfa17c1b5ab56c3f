// Turning the rows that OpenGL reads back into an image buffer: GL rows start at the bottom of
// the view and are padded to a multiple of 4 bytes, image rows start at the top and are packed.
#pragma once

#include "surface/surface.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes per RGB row as read with a pack alignment of 4: 3 x width rounded up to a multiple of 4.
std::size_t padded_row_length(int width);

// The image buffer of exactly 3 x width x height bytes: the rows of `read` (height rows of
// padded_row_length(width) bytes, bottom row first) in reverse order, each without its filler
// bytes. Empty when `read` is too short or a side is not positive.
std::vector<std::uint8_t> upright_rgb(const std::vector<std::uint8_t>& read, int width, int height);

// The picture of the loaded pair: the LR path without extension, "-", the HR name, ".png"; it
// lands beside the LR surface file.
std::string screenshot_file_name(const Surface& lr, const Surface& hr);
