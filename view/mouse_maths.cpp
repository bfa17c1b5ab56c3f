#include "view/mouse_maths.h"

#include "view/colour_map.h"
#include "view/view_maths.h"

#include <Eigen/Dense>

#include <cmath>

namespace {

constexpr int legend_right = 19;
constexpr int legend_bottom = 149;

Matrix4 translation_part(const Matrix4& transform)
{
    Matrix4 t;
    return make_translation(t, transform[12], transform[13], transform[14]);
}

Matrix4 linear_part(const Matrix4& transform)
{
    Matrix4 r = transform;
    r[12] = r[13] = r[14] = 0.0;
    return r;
}

// The orthographic projection the view sets for a client area of width x height.
Eigen::Matrix4d view_projection(int width, int height)
{
    Eigen::Matrix4d p = Eigen::Matrix4d::Identity();
    p(0, 0) = 2.0 / width;
    p(0, 3) = -1.0;
    p(1, 1) = 2.0 / height;
    p(1, 3) = -1.0;
    p(2, 2) = -1.0 / view_depth;
    return p;
}

} // namespace

bool in_legend_area(int x, int y) { return x <= legend_right && y <= legend_bottom; }

int next_colour_map(int colour_map)
{
    return colour_map >= colour_map_count - 1 || colour_map < 0 ? 0 : colour_map + 1;
}

double wheel_factor(int rotation, int delta, double notch_divisor)
{
    if (rotation == 0 || delta <= 0)
        return 1.0;
    const double notches = static_cast<double>(rotation) / (notch_divisor * delta);
    return rotation < 0 ? 1.0 - notches : 1.0 / (1.0 + notches);
}

Matrix4 rotation_about_axis(double degrees, const Point3& axis)
{
    Matrix4 r = identity_matrix();
    Point3 u;
    normalized(u, axis);
    if (dot(u, u) == 0.0)
        return r;
    const double c = std::cos(degrees * degrees_to_radians);
    const double s = std::sin(degrees * degrees_to_radians);
    const double k = 1.0 - c;
    r[0] = u.x * u.x * k + c;
    r[1] = u.y * u.x * k + u.z * s;
    r[2] = u.z * u.x * k - u.y * s;
    r[4] = u.x * u.y * k - u.z * s;
    r[5] = u.y * u.y * k + c;
    r[6] = u.z * u.y * k + u.x * s;
    r[8] = u.x * u.z * k + u.y * s;
    r[9] = u.y * u.z * k - u.x * s;
    r[10] = u.z * u.z * k + c;
    return r;
}

Matrix4 drag_transform(double dx, double dy, const DragButtons& buttons, double zoom)
{
    Matrix4 d = identity_matrix();
    if (buttons.left)
        d = product(d, rotation_about_axis(std::sqrt(dx * dx + dy * dy), {dy, dx, 0.0}));
    if (buttons.middle)
        d = product(d, rotation_about_axis(dx + dy, {0.0, 0.0, 1.0}));
    // Without a usable zoom a pan would throw the view to infinity.
    if (buttons.right && zoom > 0.0 && std::isfinite(zoom)) {
        Matrix4 pan;
        d = product(d, make_translation(pan, dx / zoom, -dy / zoom, 0.0));
    }
    return d;
}

Matrix4 view_rotation_after_drag(const Matrix4& view_rotation, const Matrix4& drag)
{
    return product(translation_part(view_rotation), product(drag, linear_part(view_rotation)));
}

Matrix4 pose_after_drag(const Matrix4& pose, const Matrix4& view_rotation, const Matrix4& drag)
{
    const Matrix4 r_v = linear_part(view_rotation);
    Matrix4 r_v_inverse;
    invert_rigid(r_v_inverse, r_v);
    const Matrix4 t_c = translation_part(pose);
    Matrix4 t_c_inverse;
    make_inverse_translation(t_c_inverse, pose[12], pose[13], pose[14]);
    const Matrix4 in_screen_axes = product(r_v_inverse, product(drag, r_v));
    return product(product(t_c, in_screen_axes), product(t_c_inverse, pose));
}

bool pick_ray(int width, int height, double zoom, const Matrix4& view_rotation,
              const Matrix4& hr_to_centred, int x, int y, Point3& near_point, Point3& far_point)
{
    if (width <= 0 || height <= 0)
        return false;
    const Matrix4 model_view =
        product(view_matrix(width, height, zoom, view_rotation), hr_to_centred);
    const Eigen::Matrix4d m = Eigen::Map<const Eigen::Matrix4d>(model_view.m.data());
    const Eigen::Matrix4d pm = view_projection(width, height) * m;
    Eigen::Matrix4d inverse;
    bool invertible = false;
    pm.computeInverseWithCheck(inverse, invertible);
    if (!invertible)
        return false;
    // Window (x, height - y, depth) to normalised device coordinates, then back.
    const auto unproject = [&](double depth, Point3& point) {
        const Eigen::Vector4d ndc(2.0 * x / width - 1.0, 2.0 * (height - y) / height - 1.0,
                                  2.0 * depth - 1.0, 1.0);
        const Eigen::Vector4d p = inverse * ndc;
        if (p[3] == 0.0)
            return false;
        point = {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
        return true;
    };
    return unproject(0.0, near_point) && unproject(1.0, far_point);
}
