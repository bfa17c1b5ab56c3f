#include "view/bitmap_font.h"

#include "view/glyph_drawings.h"

namespace {

struct FontStyle {
    const char* name;
    int height;
    int y_origin;
    int scale;      // each drawing pixel becomes scale x scale pixels
    int cell_width; // 0 for a proportional font; else every glyph is this wide
};

// Helvetica and Times styles share the one proportional design, doubled for the large sizes;
// the two fixed styles centre it in their cells.
const FontStyle font_styles[bitmap_font_count] = {
    {"-misc-fixed-medium-r-normal--15-140-75-75-C-90-iso8859-1", 16, 4, 1, 9},
    {"-misc-fixed-medium-r-normal--13-120-75-75-C-80-iso8859-1", 14, 3, 1, 8},
    {"-adobe-times-medium-r-normal--10-100-75-75-p-54-iso8859-1", 14, 4, 1, 0},
    {"-adobe-times-medium-r-normal--24-240-75-75-p-124-iso8859-1", 29, 7, 2, 0},
    {"-adobe-helvetica-medium-r-normal--10-100-75-75-p-56-iso8859-1", 14, 3, 1, 0},
    {"-adobe-helvetica-medium-r-normal--12-120-75-75-p-67-iso8859-1", 16, 4, 1, 0},
    {"-adobe-helvetica-medium-r-normal--18-180-75-75-p-98-iso8859-1", 23, 5, 2, 0},
};

int row_bytes_for(int width) { return (width + 7) / 8; }

std::vector<std::uint8_t> render_glyph(const GlyphDrawing& drawing, const FontStyle& style,
                                       bool printable)
{
    const int scale = style.scale;
    int width = drawing.width * scale;
    int x_offset = 0; // drawing pixels from the left of a fixed cell
    if (style.cell_width > 0 && (printable || drawing.width > 0)) {
        width = style.cell_width;
        x_offset = (style.cell_width - drawing.width) / 2;
        if (x_offset < 0)
            x_offset = 0;
    }
    const int row_bytes = row_bytes_for(width);
    std::vector<std::uint8_t> glyph(1 + static_cast<std::size_t>(row_bytes * style.height), 0);
    glyph[0] = static_cast<std::uint8_t>(width);
    for (int row = 0; row < style.height; ++row) {
        const int height = row - style.y_origin;
        for (int x = 0; x < width; ++x) {
            // Floor division keeps the doubled descenders below the baseline.
            const int source_height =
                height >= 0 ? height / scale : -((-height + scale - 1) / scale);
            if (!drawing.is_set(x / scale - x_offset, source_height))
                continue;
            glyph[1 + static_cast<std::size_t>(row * row_bytes + x / 8)] |=
                static_cast<std::uint8_t>(0x80u >> (x % 8));
        }
    }
    return glyph;
}

BitmapFont build_font(const FontStyle& style)
{
    BitmapFont font;
    font.name = style.name;
    font.height = style.height;
    font.x_origin = 0.0f;
    font.y_origin = static_cast<float>(style.y_origin);
    const std::array<GlyphDrawing, 256>& drawings = glyph_drawings();
    for (int code = 0; code < 256; ++code) {
        // A fixed font gives every character from the space on a full cell.
        const bool printable = code >= 32 && code != 127 && !(code >= 128 && code < 160);
        font.glyphs[static_cast<std::size_t>(code)] =
            render_glyph(drawings[static_cast<std::size_t>(code)], style, printable);
    }
    return font;
}

std::array<BitmapFont, bitmap_font_count> build_fonts()
{
    std::array<BitmapFont, bitmap_font_count> fonts;
    for (int i = 0; i < bitmap_font_count; ++i)
        fonts[static_cast<std::size_t>(i)] = build_font(font_styles[i]);
    return fonts;
}

} // namespace

const BitmapFont* bitmap_font(int number)
{
    if (number < 1 || number > bitmap_font_count)
        return nullptr;
    static const std::array<BitmapFont, bitmap_font_count> fonts = build_fonts();
    return &fonts[static_cast<std::size_t>(number - 1)];
}

int glyph_width(const BitmapFont& font, int code)
{
    return font.glyphs[static_cast<std::size_t>(code & 0xFF)][0];
}

int glyph_row_bytes(const BitmapFont& font, int code)
{
    return row_bytes_for(glyph_width(font, code));
}

const std::uint8_t* glyph_rows(const BitmapFont& font, int code)
{
    return font.glyphs[static_cast<std::size_t>(code & 0xFF)].data() + 1;
}

bool glyph_pixel(const BitmapFont& font, int code, int x, int row)
{
    if (x < 0 || x >= glyph_width(font, code) || row < 0 || row >= font.height)
        return false;
    const std::uint8_t byte = glyph_rows(font, code)[row * glyph_row_bytes(font, code) + x / 8];
    return (byte & (0x80u >> (x % 8))) != 0;
}

std::vector<int> text_code_points(const std::string& text)
{
    std::vector<int> codes;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        int code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= n;
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        // Overlong and surrogate forms are not text either.
        if (valid && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (valid) {
            codes.push_back(code);
            i += static_cast<std::size_t>(length);
        } else {
            codes.push_back(lead);
            ++i;
        }
    }
    return codes;
}
