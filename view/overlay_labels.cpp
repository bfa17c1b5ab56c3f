#include "view/overlay_labels.h"

#include "surface/c_locale.h"
#include "view/display_list_kind.h"
#include "view/vertex_colour.h"

#include <cmath>

std::string overlay_number(double value, const char* prefix)
{
    std::string text = c_format("%s%#.3g", prefix, value);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

ScaleBarLabel scale_bar_label(int width, double zoom)
{
    ScaleBarLabel label;
    const double length = (width - 10) / zoom;
    if (!std::isfinite(length))
        return label;
    std::string number = c_format("%#.3g", length);
    int margin = 5;
    if (!number.empty() && number.back() == '.') {
        number.pop_back();
        margin = 8;
    }
    label.text = number + " mm";
    label.x = width - margin - scale_bar_character_width * static_cast<int>(label.text.size());
    label.shown = label.x >= 0;
    return label;
}

ColourBarValues colour_bar_values(int kind, const ColourBarSettings& s)
{
    const double span = s.data_max - s.data_min;
    switch (kind) {
    case list_lr_registration_error:
        return {0.0, s.search_range, "mm"};
    case list_lr_data:
        return {s.data_min + s.offset * span, s.data_min + (s.offset + s.gain) * span,
                s.data_units};
    case list_lr_absolute_data_error:
        return {0.0, span * s.gain, s.data_units};
    case list_lr_signed_data_error: {
        const double half = 0.5 * span * s.gain;
        return {-half, half, s.data_units};
    }
    default: // curvature
        return {-curvature_ramp_limit * s.gain, curvature_ramp_limit * s.gain, "mm-2"};
    }
}

int colour_bar_below_rows(int kind)
{
    return kind == list_lr_data || kind == list_lr_signed_data_error || kind == list_lr_curvature
               ? 7
               : 0;
}

bool colour_bar_has_invalid(int kind)
{
    return kind == list_lr_data || kind == list_lr_absolute_data_error ||
           kind == list_lr_signed_data_error;
}

bool colour_bar_has_unmatched(int kind)
{
    return kind == list_lr_absolute_data_error || kind == list_lr_signed_data_error;
}

std::vector<ColourBarLabel> colour_bar_labels(int kind, const ColourBarValues& values, int h)
{
    const int b2 = 2 * colour_bar_below_rows(kind);
    const std::string units = " " + values.units;
    std::vector<ColourBarLabel> labels;
    if (colour_bar_below_rows(kind) > 0)
        labels.push_back({overlay_number(values.low, "<") + units, h - 12});
    labels.push_back({overlay_number(values.low) + units, h - 14 - b2});
    labels.push_back({overlay_number(0.5 * (values.low + values.high)) + units, h - 72 - b2});
    labels.push_back({overlay_number(values.high) + units, h - 131 - b2});
    labels.push_back({overlay_number(values.high, ">") + units, h - 144 - b2});
    if (colour_bar_has_invalid(kind))
        labels.push_back({"invalid", h - 158 - b2});
    if (colour_bar_has_unmatched(kind))
        labels.push_back({"unmatched", h - 172 - b2});
    return labels;
}
