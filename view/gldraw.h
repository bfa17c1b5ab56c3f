// Bitmap text in the view: seven built-in bitmap fonts numbered 1 to 7 (the view uses 5).
#pragma once

// Draws the glyph of `character` (1 to 255) of bitmap font `font` at the current raster
// position and advances the raster position by the glyph's width.
void glutBitmapCharacter(int font, int character);
