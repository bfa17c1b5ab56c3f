#include "view/view_maths.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// A rotation from its 3 x 3 part given row by row.
Matrix4 rotation_from_rows(const std::array<double, 9>& rows)
{
    Matrix4 r = identity_matrix();
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            r[4 * column + row] = rows[static_cast<std::size_t>(3 * row + column)];
    return r;
}

Matrix4 loading_turn(bool axis_up)
{
    return axis_up ? rotation_from_rows({0, 0, 1, 1, 0, 0, 0, 1, 0})
                   : rotation_from_rows({-1, 0, 0, 0, 0, 1, 0, 1, 0});
}

} // namespace

Matrix4 view_matrix(int width, int height, double zoom, const Matrix4& view_rotation)
{
    Matrix4 centre;
    make_translation(centre, width * 0.5, height * 0.5, 0.0);
    Matrix4 scale = identity_matrix();
    scale[0] = scale[5] = scale[10] = zoom;
    return product(product(centre, scale), view_rotation);
}

double fit_zoom(double lr_max_radius, double hr_max_radius, int width, int height)
{
    const double r = std::max(lr_max_radius, hr_max_radius);
    // Without a client area (a window not yet laid out) a zoom of 0 would collapse the view.
    if (!(r > 0.0) || std::min(width, height) <= 0)
        return 1.0;
    return 0.5 * std::min(width, height) / r;
}

Matrix4 loading_view_rotation(const Matrix4& hr_natural_axes, bool axis_up)
{
    Matrix4 inverse;
    invert_rigid(inverse, hr_natural_axes);
    return product(loading_turn(axis_up), inverse);
}

Matrix4 review_view_preset(int review_value, bool axis_up)
{
    switch (std::abs(review_value)) {
    case 1:
        return identity_matrix();
    case 2:
        return rotation_from_rows({0, 0, -1, 0, 1, 0, 1, 0, 0});
    case 3:
        return rotation_from_rows({-1, 0, 0, 0, 1, 0, 0, 0, -1});
    case 4:
        return rotation_from_rows({0, 0, 1, 0, 1, 0, -1, 0, 0});
    case 5:
        return rotation_from_rows({1, 0, 0, 0, 0, -1, 0, 1, 0});
    case 6:
        return rotation_from_rows({1, 0, 0, 0, 0, 1, 0, -1, 0});
    default:
        return loading_turn(axis_up);
    }
}
