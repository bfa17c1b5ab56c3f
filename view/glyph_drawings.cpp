#include "view/glyph_drawings.h"

#include "view/glyph_drawings_art.h"

#include <algorithm>
#include <cassert>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Art row 6 is the baseline.
constexpr int baseline_row = 6;

void set_pixel(GlyphDrawing& glyph, int x, int height)
{
    if (height < glyph_lowest_height || height > glyph_highest_height || x < 0 || x >= 32)
        return;
    glyph.ink[static_cast<std::size_t>(height - glyph_lowest_height)] |= 1u << x;
}

// The character code of a block header: one ASCII byte or a two-byte UTF-8 sequence of
// U+0080 to U+00FF; -1 for anything else.
int header_code(const std::string& token)
{
    if (token.size() == 1)
        return static_cast<unsigned char>(token[0]);
    if (token.size() == 2) {
        const auto lead = static_cast<unsigned char>(token[0]);
        const auto next = static_cast<unsigned char>(token[1]);
        if ((lead == 0xC2 || lead == 0xC3) && (next & 0xC0) == 0x80)
            return (lead & 0x03) << 6 | (next & 0x3F);
    }
    return -1;
}

// Rows of '#' and '.' placed with the top row at `top_height` and column 0 at x_offset.
void draw_rows(GlyphDrawing& glyph, const std::vector<std::string>& rows, int top_height,
               int x_offset)
{
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t x = 0; x < rows[r].size(); ++x)
            if (rows[r][x] == '#')
                set_pixel(glyph, x_offset + static_cast<int>(x), top_height - static_cast<int>(r));
}

void parse_art(std::array<GlyphDrawing, 256>& glyphs)
{
    std::istringstream in(glyph_art);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const std::size_t blank = line.find(' ');
        assert(blank != std::string::npos);
        const int code = header_code(line.substr(0, blank));
        const int start_row = std::stoi(line.substr(blank + 1));
        assert(code > 0);
        std::vector<std::string> rows;
        while (std::getline(in, line) && !line.empty())
            rows.push_back(line);
        assert(!rows.empty());
        GlyphDrawing& glyph = glyphs[static_cast<std::size_t>(code)];
        glyph.width = static_cast<int>(rows[0].size());
        draw_rows(glyph, rows, baseline_row - start_row, 0);
    }
}

// The columns that hold ink, as [left, right]; [0, width - 1] for a blank glyph.
std::pair<int, int> ink_columns(const GlyphDrawing& glyph)
{
    std::uint32_t all = 0;
    for (const std::uint32_t mask : glyph.ink)
        all |= mask;
    if (all == 0)
        return {0, glyph.width - 1};
    int left = 0;
    while (!(all >> left & 1u))
        ++left;
    int right = 31;
    while (!(all >> right & 1u))
        --right;
    return {left, right};
}

struct Accent {
    std::vector<std::string> rows;
    int capital_top; // height of the top row over a capital
    int small_top;   // over a small letter
};

const Accent grave{{"#..", ".#."}, 9, 7};
const Accent acute{{"..#", ".#."}, 9, 7};
const Accent circumflex{{".#.", "#.#"}, 9, 7};
const Accent tilde{{".#.#", "#.#."}, 9, 7};
const Accent diaeresis{{"#.#"}, 8, 6};
const Accent ring{{".#.", "#.#", ".#."}, 10, 8};
const Accent cedilla{{".#", "#."}, -1, -1};

// The base glyph with the accent centred over (or, for the cedilla, under) its ink.
GlyphDrawing accented(const GlyphDrawing& base, const Accent& accent, bool capital)
{
    GlyphDrawing glyph = base;
    const auto [left, right] = ink_columns(base);
    const int accent_width = static_cast<int>(accent.rows[0].size());
    const int x = std::max(0, (left + right + 1 - accent_width) / 2);
    draw_rows(glyph, accent.rows, capital ? accent.capital_top : accent.small_top, x);
    return glyph;
}

// The letter without anything above its x-height: the dotless i under an accent.
GlyphDrawing without_dot(GlyphDrawing glyph)
{
    for (int height = 5; height <= glyph_highest_height; ++height)
        glyph.ink[static_cast<std::size_t>(height - glyph_lowest_height)] = 0;
    return glyph;
}

struct AccentedRun {
    int first_code;
    char base;
    std::vector<const Accent*> accents;
};

void compose_accented(std::array<GlyphDrawing, 256>& glyphs)
{
    const std::vector<AccentedRun> runs = {
        {192, 'A', {&grave, &acute, &circumflex, &tilde, &diaeresis, &ring}},
        {199, 'C', {&cedilla}},
        {200, 'E', {&grave, &acute, &circumflex, &diaeresis}},
        {204, 'I', {&grave, &acute, &circumflex, &diaeresis}},
        {209, 'N', {&tilde}},
        {210, 'O', {&grave, &acute, &circumflex, &tilde, &diaeresis}},
        {217, 'U', {&grave, &acute, &circumflex, &diaeresis}},
        {221, 'Y', {&acute}},
    };
    for (const AccentedRun& run : runs) {
        for (std::size_t i = 0; i < run.accents.size(); ++i) {
            const auto capital = static_cast<std::size_t>(run.base);
            const auto small = capital + 32;
            const GlyphDrawing small_base =
                run.base == 'I' ? without_dot(glyphs[small]) : glyphs[small];
            const std::size_t code = static_cast<std::size_t>(run.first_code) + i;
            glyphs[code] = accented(glyphs[capital], *run.accents[i], true);
            glyphs[code + 32] = accented(small_base, *run.accents[i], false);
        }
    }
    glyphs[255] = accented(glyphs['y'], diaeresis, false);
}

std::array<GlyphDrawing, 256> build_drawings()
{
    std::array<GlyphDrawing, 256> glyphs{};
    parse_art(glyphs);
    glyphs[' '].width = 3;
    glyphs[160] = glyphs[' ']; // no-break space
    glyphs[173] = glyphs['-']; // soft hyphen
    compose_accented(glyphs);
    return glyphs;
}

} // namespace

const std::array<GlyphDrawing, 256>& glyph_drawings()
{
    static const std::array<GlyphDrawing, 256> glyphs = build_drawings();
    return glyphs;
}
