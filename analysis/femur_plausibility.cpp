// Where a femur has its items, relative to its head: the check that keeps an item the bone
// contradicts from being written as a result.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Where an item may lie, in head radii r from the fitted head centre: how far distal of it
// along the main axis (negative: proximal), and how far from it in all. Derived from the
// generated femur (head radius 22 mm), whose items lie: lesser trochanter and shaft slice 3.4 r
// distal and 3.9 r away, crest 0.3 r distal and 1.8 r away, fossa 0.2 r distal and 1.6 r away;
// and from the real femur opened at its shaft: lesser trochanter 3.7 r distal and 4.0 r away,
// crest 0.2 r proximal and 2.0 to 2.4 r away, fossa up to 0.7 r distal and 1.8 to 2.1 r away.
// The ranges keep about 0.5 r beside what those bones show and stay where a femur's anatomy
// has each item: the lesser trochanter well down the shaft below the neck, the crest and fossa
// at the neck's base between the head's level and a head's breadth below it.
struct ItemRange {
    const char* item;
    double least_distal;
    double most_distal;
    double nearest;
    double farthest;
};

constexpr ItemRange lesser_trochanter_range{"lesser trochanter", 1.5, 4.5, 2.0, 4.5};
constexpr ItemRange shaft_slice_range{"shaft slice", 1.5, 4.5, 2.0, 4.5};
constexpr ItemRange crest_range{"crest", -0.75, 1.25, 1.5, 3.0};
constexpr ItemRange fossa_range{"fossa", -0.75, 1.0, 1.0, 2.5};

// Whole millimetres, in the C locale's digits whatever the user's locale.
std::string format_mm(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

// A height along the main axis from the head centre: "12 mm below", or "3 mm above".
std::string below_or_above(double distal_mm)
{
    return distal_mm < 0.0 ? format_mm(-distal_mm) + " mm above"
                           : format_mm(distal_mm) + " mm below";
}

} // namespace

void FemurAnalyser::check_items_against_head()
{
    const auto outside = [&](const ItemRange& range, const Point3& p) {
        const Point3 offset = p - head_centre;
        const double distal = -dot(offset, frame.u) / head_radius;
        const double distance = std::sqrt(dot(offset, offset)) / head_radius;
        if (distal >= range.least_distal && distal <= range.most_distal &&
            distance >= range.nearest && distance <= range.farthest)
            return false;
        const double r = head_radius;
        withheld.push_back(
            std::string(range.item) + " left out: it lies " + below_or_above(distal * r) +
            " the head centre and " + format_mm(distance * r) +
            " mm from it, where a femur has it " + below_or_above(range.least_distal * r) + " to " +
            below_or_above(range.most_distal * r) + " and " + format_mm(range.nearest * r) +
            " to " + format_mm(range.farthest * r) + " mm away");
        return true;
    };
    const auto built_on = [&](const char* item, const char* base) {
        withheld.push_back(std::string(item) + " left out: built on the " + base);
        return true;
    };
    if (lesser_trochanter_failed)
        return;
    implausible.lesser_trochanter = outside(lesser_trochanter_range, mean_row(lesser_trochanter));
    if (shaft_slice.rows() > 0)
        implausible.shaft_slice = implausible.lesser_trochanter
                                      ? built_on("shaft slice", "lesser trochanter")
                                      : outside(shaft_slice_range, mean_row(shaft_slice));
    if (crest_failed)
        return;
    implausible.crest = implausible.lesser_trochanter ? built_on("crest", "lesser trochanter")
                                                      : outside(crest_range, crest_point);
    if (!fossa_points.empty())
        implausible.fossa =
            implausible.crest
                ? built_on("fossa", implausible.lesser_trochanter ? "lesser trochanter" : "crest")
                : outside(fossa_range, fossa_point);
}

std::string FemurAnalyser::left_out_note() const
{
    std::vector<std::string> parts;
    if (boundary_failed) {
        parts.emplace_back("no head-neck boundary found, so no item is placed");
    } else {
        if (head_fit_failed)
            parts.emplace_back("no fovea found");
        if (side_contradicted)
            parts.emplace_back("no lesser trochanter, shaft slice, crest or fossa is placed");
        else if (lesser_trochanter_failed)
            parts.emplace_back("no lesser trochanter found, so no shaft slice, crest or fossa is "
                               "placed");
        else {
            if (shaft_slice.rows() == 0)
                parts.emplace_back("no shaft slice found");
            if (crest_failed)
                parts.emplace_back("no crest found, so no fossa is placed");
            else if (fossa_points.empty())
                parts.emplace_back("no fossa found");
        }
    }
    parts.insert(parts.end(), withheld.begin(), withheld.end());
    std::string note;
    for (const std::string& part : parts)
        note += (note.empty() ? "" : "; ") + part;
    return note;
}
