#include "view/screenshot.h"

#include <algorithm>

std::size_t padded_row_length(int width)
{
    const std::size_t packed = 3 * static_cast<std::size_t>(std::max(width, 0));
    return (packed + 3) / 4 * 4;
}

std::vector<std::uint8_t> upright_rgb(const std::vector<std::uint8_t>& read, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const std::size_t rows = static_cast<std::size_t>(height);
    const std::size_t stride = padded_row_length(width);
    const std::size_t packed = 3 * static_cast<std::size_t>(width);
    if (read.size() < stride * rows)
        return {};
    std::vector<std::uint8_t> image(packed * rows);
    for (std::size_t row = 0; row < rows; ++row) {
        const auto source = read.begin() + static_cast<std::ptrdiff_t>((rows - 1 - row) * stride);
        std::copy(source, source + static_cast<std::ptrdiff_t>(packed),
                  image.begin() + static_cast<std::ptrdiff_t>(row * packed));
    }
    return image;
}

std::string screenshot_file_name(const Surface& lr, const Surface& hr)
{
    return lr.path_stem + "-" + hr.name + ".png";
}
