#include "view/overlay_labels.h"

#include "view/display_list_kind.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

TEST(OverlayLabels, NumbersKeepThreeDigitsAndLoseATrailingPoint)
{
    struct Case {
        double value;
        const char* prefix;
        const char* text;
    };
    const Case cases[] = {
        {100.0, "", "100"},       // "100." loses its point
        {0.5, "", "0.500"},       // '#' keeps the zeros
        {0.0, "", "0.00"},        //
        {-0.04, "<", "<-0.0400"}, //
        {12.0, ">", ">12.0"},     //
        {1234.5, "", "1.23e+03"}, //
        {1e5, "", "1.00e+05"},    //
    };
    for (const Case& c : cases)
        EXPECT_EQ(overlay_number(c.value, c.prefix), c.text) << c.value;
}

TEST(OverlayLabels, NumbersIgnoreTheUserLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no German locale";
    EXPECT_EQ(overlay_number(0.5), "0.500");
    EXPECT_EQ(scale_bar_label(60, 1.0).text, "50.0 mm");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(OverlayLabels, ScaleBarLabelRightAlignedBySixPixelsACharacter)
{
    struct Case {
        int width;
        double zoom;
        const char* text;
        int x;
        bool shown;
    };
    const Case cases[] = {
        {210, 2.0, "100 mm", 210 - 8 - 36, true},        // trailing point: 8-pixel margin
        {60, 1.0, "50.0 mm", 60 - 5 - 42, true},         //
        {1010, 0.5, "2.00e+03 mm", 1010 - 5 - 66, true}, //
        {40, 0.001, "3.00e+04 mm", 40 - 5 - 66, false},  // would start left of the window
    };
    for (const Case& c : cases) {
        const ScaleBarLabel label = scale_bar_label(c.width, c.zoom);
        EXPECT_EQ(label.text, c.text);
        EXPECT_EQ(label.x, c.x) << c.text;
        EXPECT_EQ(label.shown, c.shown) << c.text;
    }
    // No zoom yet: no length to show, and no "inf" text.
    EXPECT_FALSE(scale_bar_label(200, 0.0).shown);
    EXPECT_FALSE(scale_bar_label(200, std::nan("")).shown);
}

TEST(OverlayLabels, ColourBarValuesByColouring)
{
    ColourBarSettings s;
    s.data_min = 1.0;
    s.data_max = 5.0;
    s.gain = 0.5;
    s.offset = 0.25;
    s.search_range = 3.0;
    s.data_units = "g/cm3";
    struct Case {
        int kind;
        double low, high;
        const char* units;
    };
    const Case cases[] = {
        {list_lr_registration_error, 0.0, 3.0, "mm"},
        {list_lr_data, 2.0, 4.0, "g/cm3"},
        {list_lr_absolute_data_error, 0.0, 2.0, "g/cm3"},
        {list_lr_signed_data_error, -1.0, 1.0, "g/cm3"},
        {list_lr_curvature, -0.02, 0.02, "mm-2"},
    };
    for (const Case& c : cases) {
        const ColourBarValues v = colour_bar_values(c.kind, s);
        EXPECT_DOUBLE_EQ(v.low, c.low) << c.kind;
        EXPECT_DOUBLE_EQ(v.high, c.high) << c.kind;
        EXPECT_EQ(v.units, c.units) << c.kind;
    }
}

TEST(OverlayLabels, ColourBarLabelsAndSwatchesByColouring)
{
    const int h = 500;
    using Labels = std::vector<std::pair<std::string, int>>;
    const auto labels = [&](int kind, const ColourBarValues& values) {
        Labels out;
        for (const ColourBarLabel& l : colour_bar_labels(kind, values, h))
            out.emplace_back(l.text, l.y);
        return out;
    };
    // Absolute data error: from 0, no below-range item, both extra swatches.
    EXPECT_EQ(labels(list_lr_absolute_data_error, {0.0, 2.0, "mm"}),
              (Labels{{"0.00 mm", h - 14},
                      {"1.00 mm", h - 72},
                      {"2.00 mm", h - 131},
                      {">2.00 mm", h - 144},
                      {"invalid", h - 158},
                      {"unmatched", h - 172}}));
    // Registration error: neither swatch.
    EXPECT_EQ(labels(list_lr_registration_error, {0.0, 10.0, "mm"}),
              (Labels{{"0.00 mm", h - 14},
                      {"5.00 mm", h - 72},
                      {"10.0 mm", h - 131},
                      {">10.0 mm", h - 144}}));
    // Curvature: the below-range label, everything else 14 pixels lower.
    EXPECT_EQ(labels(list_lr_curvature, {-0.04, 0.04, "mm-2"}),
              (Labels{{"<-0.0400 mm-2", h - 12},
                      {"-0.0400 mm-2", h - 28},
                      {"0.00 mm-2", h - 86},
                      {"0.0400 mm-2", h - 145},
                      {">0.0400 mm-2", h - 158}}));
    EXPECT_EQ(colour_bar_below_rows(list_lr_data), 7);
    EXPECT_EQ(colour_bar_below_rows(list_lr_signed_data_error), 7);
    EXPECT_EQ(colour_bar_below_rows(list_lr_absolute_data_error), 0);
    EXPECT_TRUE(colour_bar_has_invalid(list_lr_data));
    EXPECT_FALSE(colour_bar_has_unmatched(list_lr_data));
    EXPECT_FALSE(colour_bar_has_invalid(list_lr_curvature));
}
