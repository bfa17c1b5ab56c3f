#include "registration/pairing.h"

#include "registration/family_transform.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/barycentric.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Landmarks and landcurves alike: unpaired items, and two items naming each other.
template <typename Item> void unpair_all(std::vector<Item>& lr_items, std::vector<Item>& hr_items)
{
    for (Item& item : lr_items)
        item.partner = -1;
    for (Item& item : hr_items)
        item.partner = -1;
}

template <typename Item>
void link(std::vector<Item>& lr_items, std::size_t i, std::vector<Item>& hr_items, std::size_t j)
{
    lr_items[i].partner = static_cast<std::int32_t>(j);
    hr_items[j].partner = static_cast<std::int32_t>(i);
}

} // namespace

bool is_rim_curve(const Landcurve& curve)
{
    return curve.name.find(rim_curve_name) != std::string::npos;
}

void pair_landmarks(Surface& lr, Surface& hr)
{
    unpair_all(lr.landmarks, hr.landmarks);
    lr.landmark_pair_count = 0;
    for (std::size_t i = 0; i < lr.landmarks.size(); ++i) {
        for (std::size_t j = 0; j < hr.landmarks.size(); ++j) {
            if (lr.landmarks[i].name != hr.landmarks[j].name)
                continue;
            ++lr.landmark_pair_count;
            link(lr.landmarks, i, hr.landmarks, j);
        }
    }
    hr.landmark_pair_count = lr.landmark_pair_count;
    lr.landmarks_changed = true;
}

double rim_distance(const std::vector<Point3>& lr_points, const std::vector<Landmark>& hr_rim)
{
    const auto n = static_cast<std::int64_t>(hr_rim.size());
    double least = missing_value;
    if (n == 0)
        return least;
    for (const std::int64_t direction : {-1, 1}) {
        for (std::int64_t start = 0; start < n; ++start) {
            double sum = 0.0;
            std::int64_t h = start;
            for (const Point3& q : lr_points) {
                sum += std::sqrt(squared_distance(q, hr_rim[static_cast<std::size_t>(h)].position));
                h = (h + direction + n) % n;
            }
            if (sum < least)
                least = sum;
        }
    }
    return least;
}

namespace {

// The control points of an LR curve where the LR surface is shown, in HR file coordinates.
std::vector<Point3> registered_control_points(const Surface& lr, const Landcurve& curve,
                                              const Matrix4& lr_to_hr)
{
    std::vector<Point3> points;
    points.reserve(curve.control_points.size());
    for (const Landmark& point : curve.control_points) {
        // A point that no triangle holds yet stays where it was read.
        Point3 shown = point.position;
        interpolate_at_triangle(lr.shown_positions(), point, shown);
        points.push_back(transformed(lr_to_hr, shown));
    }
    return points;
}

// The HR rim nearest to an LR rim (its points in HR file coordinates); -1 when none is nearer
// than 1e10.
std::int64_t nearest_rim(const std::vector<Point3>& lr_points, const Surface& hr)
{
    double best = missing_value;
    std::int64_t candidate = -1;
    for (std::size_t j = 0; j < hr.landcurves.size(); ++j) {
        if (!is_rim_curve(hr.landcurves[j]))
            continue;
        const double distance = rim_distance(lr_points, hr.landcurves[j].control_points);
        if (distance < best) {
            best = distance;
            candidate = static_cast<std::int64_t>(j);
        }
    }
    return candidate;
}

void pair_curves(Surface& lr, std::size_t i, Surface& hr, std::size_t j)
{
    lr.curve_point_pair_count += static_cast<std::int64_t>(lr.landcurves[i].points.size());
    link(lr.landcurves, i, hr.landcurves, j);
}

} // namespace

void pair_landcurves(WorkingState& state, int rim_mode)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    const Matrix4 lr_to_hr = lr_to_hr_file_transform(lr, hr, state.current_transform);
    unpair_all(lr.landcurves, hr.landcurves);
    lr.curve_point_pair_count = 0;

    for (std::size_t i = 0; i < lr.landcurves.size(); ++i) {
        const Landcurve& curve = lr.landcurves[i];
        if (!is_rim_curve(curve)) {
            for (std::size_t j = 0; j < hr.landcurves.size(); ++j)
                if (hr.landcurves[j].name == curve.name && hr.landcurves[j].closed == curve.closed)
                    pair_curves(lr, i, hr, j);
        } else if (rim_mode == rims_to_rims) {
            // Rim names number the rims of one surface only: the shapes decide.
            const std::int64_t j = nearest_rim(registered_control_points(lr, curve, lr_to_hr), hr);
            if (j >= 0)
                pair_curves(lr, i, hr, static_cast<std::size_t>(j));
        }
    }

    // The resampling rebuilds the HR working points from the control points.
    for (Landcurve& curve : hr.landcurves)
        curve.points.clear();
    hr.curve_point_pair_count = 0;
    lr.landmarks_changed = true;
    if (rim_mode == rims_to_rims)
        state.rims_paired = true;
}
