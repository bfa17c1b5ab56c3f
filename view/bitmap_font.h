// The seven built-in bitmap fonts of the view, numbered 1 to 7, in the layout that glBitmap
// draws: each glyph is one byte of width, then `height` rows of ceil(width / 8) bytes, the
// bottom row first, the most significant bit leftmost. Every text of the view uses font 5.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int bitmap_font_count = 7;
constexpr int view_text_font = 5;

struct BitmapFont {
    std::string name;
    std::int32_t glyph_count = 256;
    std::int32_t height = 0;                           // rows of every glyph
    std::array<std::vector<std::uint8_t>, 256> glyphs; // indexed by character code
    float x_origin = 0.0f;
    float y_origin = 0.0f; // rows below the baseline
};

// Font `number` (1 to 7); nullptr for any other number.
const BitmapFont* bitmap_font(int number);

// The advance of character `code` (0 to 255) in pixels.
int glyph_width(const BitmapFont& font, int code);
// Bytes per row of the glyph of `code`.
int glyph_row_bytes(const BitmapFont& font, int code);
// The rows of the glyph of `code`, bottom first, as glBitmap takes them.
const std::uint8_t* glyph_rows(const BitmapFont& font, int code);
// Whether pixel x of row `row` (0 = bottom) of the glyph of `code` is set.
bool glyph_pixel(const BitmapFont& font, int code, int x, int row);

// The code points of UTF-8 text, one per character. A byte that does not start a valid
// sequence stands for itself (as ISO 8859-1), so text of either encoding shows.
std::vector<int> text_code_points(const std::string& text);
