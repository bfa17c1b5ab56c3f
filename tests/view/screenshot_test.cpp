#include "view/screenshot.h"

#include <gtest/gtest.h>

TEST(Screenshot, RowsAreFlippedAndTheirFillerDropped)
{
    for (int width : {4, 5, 6, 7}) {
        const int height = 3;
        const std::size_t stride = padded_row_length(width);
        EXPECT_EQ(stride % 4, 0u);
        EXPECT_LT(stride - 3 * width, 4u);
        // GL row r (from the bottom) holds bytes 10 r + k; filler bytes hold 255.
        std::vector<std::uint8_t> read(stride * height, 255);
        for (int r = 0; r < height; ++r)
            for (int k = 0; k < 3 * width; ++k)
                read[r * stride + k] = static_cast<std::uint8_t>(10 * r + k);
        const std::vector<std::uint8_t> image = upright_rgb(read, width, height);
        ASSERT_EQ(image.size(), static_cast<std::size_t>(3 * width * height)) << width;
        for (int row = 0; row < height; ++row)
            for (int k = 0; k < 3 * width; ++k)
                EXPECT_EQ(image[row * 3 * width + k], 10 * (height - 1 - row) + k)
                    << "width " << width << " row " << row << " byte " << k;
    }
}

TEST(Screenshot, EmptyOrShortInputGivesNoImage)
{
    EXPECT_TRUE(upright_rgb({}, 0, 10).empty());
    EXPECT_TRUE(upright_rgb({}, 10, 0).empty());
    EXPECT_TRUE(upright_rgb(std::vector<std::uint8_t>(10, 0), 3, 2).empty());
}

TEST(Screenshot, ThePictureLandsBesideTheLrSurfaceNamedForThePair)
{
    Surface lr, hr;
    lr.path_stem = "/data/bones/tibia_left";
    hr.name = "tibia ct";
    EXPECT_EQ(screenshot_file_name(lr, hr), "/data/bones/tibia_left-tibia ct.png");
}
