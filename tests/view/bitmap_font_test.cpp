#include "view/bitmap_font.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Set pixels of row `row` of a glyph as a string of '#' and '.', leftmost first.
std::string row_text(const BitmapFont& font, int code, int row)
{
    std::string text;
    for (int x = 0; x < glyph_width(font, code); ++x)
        text += glyph_pixel(font, code, x, row) ? '#' : '.';
    return text;
}

bool has_ink(const BitmapFont& font, int code, int first_row, int last_row)
{
    for (int row = first_row; row <= last_row; ++row)
        if (row_text(font, code, row).find('#') != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(BitmapFont, SevenFontsWithTheirNamesSizesAndGlyphLayout)
{
    struct Expected {
        int number;
        const char* name;
        int height;
        float y_origin;
    };
    const Expected table[] = {
        {1, "-misc-fixed-medium-r-normal--15-140-75-75-C-90-iso8859-1", 16, 4},
        {2, "-misc-fixed-medium-r-normal--13-120-75-75-C-80-iso8859-1", 14, 3},
        {3, "-adobe-times-medium-r-normal--10-100-75-75-p-54-iso8859-1", 14, 4},
        {4, "-adobe-times-medium-r-normal--24-240-75-75-p-124-iso8859-1", 29, 7},
        {5, "-adobe-helvetica-medium-r-normal--10-100-75-75-p-56-iso8859-1", 14, 3},
        {6, "-adobe-helvetica-medium-r-normal--12-120-75-75-p-67-iso8859-1", 16, 4},
        {7, "-adobe-helvetica-medium-r-normal--18-180-75-75-p-98-iso8859-1", 23, 5},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.number);
        const BitmapFont* font = bitmap_font(e.number);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->name, e.name);
        EXPECT_EQ(font->glyph_count, 256);
        EXPECT_EQ(font->height, e.height);
        EXPECT_EQ(font->x_origin, 0.0f);
        EXPECT_EQ(font->y_origin, e.y_origin);
        for (int code = 0; code < 256; ++code) {
            const std::vector<std::uint8_t>& glyph = font->glyphs[static_cast<std::size_t>(code)];
            ASSERT_FALSE(glyph.empty());
            // Width byte, then height rows of whole bytes.
            EXPECT_EQ(glyph.size(), 1u + static_cast<std::size_t>(e.height * ((glyph[0] + 7) / 8)))
                << code;
        }
        // Every printable character shows something and the fixed fonts keep one cell width.
        for (int code = 33; code < 256; ++code) {
            if (code >= 127 && code <= 160)
                continue;
            if (code == 173)
                continue; // the soft hyphen is the hyphen
            EXPECT_TRUE(has_ink(*font, code, 0, font->height - 1)) << code;
            if (e.number <= 2) {
                EXPECT_EQ(glyph_width(*font, code), e.number == 1 ? 9 : 8) << code;
            }
        }
    }
    EXPECT_EQ(bitmap_font(0), nullptr);
    EXPECT_EQ(bitmap_font(8), nullptr);
    EXPECT_EQ(bitmap_font(-5), nullptr);
}

TEST(BitmapFont, ViewFontAdvancesAndRowsBottomFirst)
{
    const BitmapFont& font = *bitmap_font(view_text_font);
    // The widths the scale bar and labels are laid out by.
    EXPECT_EQ(glyph_width(font, 'A'), 7);
    EXPECT_EQ(glyph_width(font, '0'), 6);
    EXPECT_EQ(glyph_width(font, '.'), 3);
    EXPECT_EQ(glyph_width(font, ' '), 3);
    EXPECT_EQ(glyph_width(font, 0), 0);
    EXPECT_FALSE(has_ink(font, ' ', 0, font.height - 1));

    // Row y_origin is the baseline: the full stop sits on it and nowhere else.
    const int baseline = 3;
    EXPECT_EQ(row_text(font, '.', baseline), ".#.");
    EXPECT_FALSE(has_ink(font, '.', baseline + 1, font.height - 1));
    EXPECT_FALSE(has_ink(font, '.', 0, baseline - 1));
    // The apex of A is the top row of the capitals, 6 above the baseline, in the middle.
    EXPECT_EQ(row_text(font, 'A', baseline + 6), "...#...");
    EXPECT_EQ(row_text(font, 'A', baseline), ".#...#.");
    // Descenders reach below the baseline; capitals do not.
    EXPECT_TRUE(has_ink(font, 'g', 0, baseline - 1));
    EXPECT_TRUE(has_ink(font, 'p', 0, baseline - 1));
    EXPECT_FALSE(has_ink(font, 'H', 0, baseline - 1));
    // Most significant bit leftmost in the bytes glBitmap reads.
    EXPECT_EQ(glyph_rows(font, '.')[baseline * glyph_row_bytes(font, '.')], 0x40);
}

TEST(BitmapFont, LargeFontsDoubleAndFixedFontsCentreTheDrawing)
{
    const BitmapFont& large = *bitmap_font(7);
    EXPECT_EQ(glyph_width(large, 'A'), 14);
    EXPECT_EQ(row_text(large, '.', 5), "..##..");
    EXPECT_EQ(row_text(large, '.', 6), "..##..");
    EXPECT_FALSE(has_ink(large, '.', 7, large.height - 1));
    EXPECT_TRUE(has_ink(large, 'g', 0, 4));

    const BitmapFont& fixed = *bitmap_font(2);
    EXPECT_EQ(row_text(fixed, '.', 3), "...#....");
}

TEST(BitmapFont, AccentedLettersAreTheBaseLetterWithAnAccentAbove)
{
    const BitmapFont& font = *bitmap_font(view_text_font);
    const int cap_top = 3 + 6;
    struct Case {
        int code;
        char base;
    };
    const Case cases[] = {{0xC9, 'E'}, {0xC5, 'A'}, {0xD1, 'N'}, {0xDC, 'U'},
                          {0xE9, 'e'}, {0xF1, 'n'}, {0xFF, 'y'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(glyph_width(font, c.code), glyph_width(font, c.base));
        for (int row = 0; row <= cap_top - 2; ++row)
            EXPECT_EQ(row_text(font, c.code, row), row_text(font, c.base, row)) << row;
        EXPECT_TRUE(has_ink(font, c.code, cap_top - 1, font.height - 1));
    }
    // The cedilla hangs below the C; the accented i has no dot under its accent.
    EXPECT_TRUE(has_ink(font, 0xC7, 0, 2));
    EXPECT_FALSE(has_ink(font, 'C', 0, 2));
    EXPECT_EQ(row_text(font, 0xED, 3 + 5), "...");
}

TEST(BitmapFont, TextCodePoints)
{
    struct Case {
        const char* why;
        std::string text;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"ASCII", "mm-2", {'m', 'm', '-', '2'}},
        {"UTF-8 Latin-1 letter", "F\xC3\xA9mur", {'F', 0xE9, 'm', 'u', 'r'}},
        {"a lone Latin-1 byte stands for itself", "F\xE9mur", {'F', 0xE9, 'm', 'u', 'r'}},
        {"beyond Latin-1: one code, which has no glyph", "\xE2\x82\xAC", {0x20AC}},
        {"overlong form is two bytes", "\xC0\x80", {0xC0, 0x80}},
        {"cut-off sequence", "a\xC3", {'a', 0xC3}},
        {"surrogate is not text", "\xED\xA0\x80", {0xED, 0xA0, 0x80}},
        {"empty", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_code_points(c.text), c.codes) << c.why;
}
