// Bitmap text in the view: seven built-in bitmap fonts numbered 1 to 7 (the view uses 5).
#pragma once

#include <string>

// Draws the glyph of `character` (1 to 255) of bitmap font `font` at the current raster
// position and advances the raster position by the glyph's width. Any other character or font
// draws nothing and says so at debug level.
void glutBitmapCharacter(int font, int character);

// Draws UTF-8 text in the view's font from the current raster position, one glyph per
// character; a character beyond 255 has no glyph and is left out.
void draw_view_text(const std::string& text);
