// The text of the screen-space decorations: the scale bar's length and the colour bar's value
// labels, with where each goes. Number text never follows the user's locale.
#pragma once

#include <string>
#include <vector>

// Pixels reckoned per character when the scale-bar label is right-aligned.
constexpr int scale_bar_character_width = 6;

// value as "%#.3g" after `prefix` ("", "<" or ">"), a trailing "." removed.
std::string overlay_number(double value, const char* prefix = "");

struct ScaleBarLabel {
    std::string text; // the length, " mm" appended
    int x = 0;        // raster x of the text; its baseline is at y 10
    bool shown = false;
};

// The label at the right end of the scale bar of a view `width` pixels wide at `zoom` pixels
// per millimetre. Not shown when it would start left of the window or the length is no
// number (a zoom of 0).
ScaleBarLabel scale_bar_label(int width, double zoom);

// What the colour bar reads from the window: colour settings, data units and the search range.
struct ColourBarSettings {
    double data_min = 0.0;
    double data_max = 6.0;
    double gain = 1.0;
    double offset = 0.0;
    double search_range = 0.0; // millimetres
    std::string data_units = "mm";
};

struct ColourBarValues {
    double low = 0.0;
    double high = 0.0;
    std::string units;
};

// The values at the two ends of the ramp for colouring `kind` (a DisplayListKind: 2, 3, 4, 5
// or 9).
ColourBarValues colour_bar_values(int kind, const ColourBarSettings& settings);

// Rows of 2 pixels above the ramp taken by the below-range swatch: 7 for data, signed data
// error and curvature, which have values below the ramp; 0 otherwise.
int colour_bar_below_rows(int kind);
// The colouring has vertices without data (the "invalid" swatch) or without a match (the
// "unmatched" swatch).
bool colour_bar_has_invalid(int kind);
bool colour_bar_has_unmatched(int kind);

struct ColourBarLabel {
    std::string text;
    int y = 0; // raster y of the baseline; x is always 20
};

// The labels beside the colour bar of a view `height` pixels high, top first.
std::vector<ColourBarLabel> colour_bar_labels(int kind, const ColourBarValues& values, int height);
