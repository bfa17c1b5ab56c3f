// The drawings behind the view's bitmap fonts: one proportional design, drawn by hand at
// 10-pixel size, for the printable ASCII and ISO 8859-1 characters. The accented letters are
// composed from their base letter and an accent drawing.
#pragma once

#include <array>
#include <cstdint>

// Heights are pixels above the baseline: -3 to 10.
constexpr int glyph_lowest_height = -3;
constexpr int glyph_highest_height = 10;
constexpr int glyph_height_count = glyph_highest_height - glyph_lowest_height + 1;

struct GlyphDrawing {
    int width = 0; // advance in pixels, bearings included; 0 = no drawing
    // One mask per height from the lowest; bit x is the pixel x columns from the left.
    std::array<std::uint32_t, glyph_height_count> ink{};

    bool is_set(int x, int height) const
    {
        return height >= glyph_lowest_height && height <= glyph_highest_height && x >= 0 &&
               x < 32 && (ink[static_cast<std::size_t>(height - glyph_lowest_height)] >> x & 1u);
    }
};

// The drawing of every character code 0 to 255 (width 0 for the codes without one: the
// control codes, 127 to 159 and code 0).
const std::array<GlyphDrawing, 256>& glyph_drawings();
