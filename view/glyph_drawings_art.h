// The hand-drawn glyph art that glyph_drawings parses.
#pragma once

extern const char* const glyph_art;
