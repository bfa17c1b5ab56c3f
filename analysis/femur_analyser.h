// Anatomical landmarks and landcurves of a proximal femur, placed from its own curvature.
#pragma once

#include "surface/surface.h"

#include <cstdint>

// Names of the items that the femur analysis adds; a surface holding any of them already is not
// analysed again.
constexpr const char* crest_landmark_name = "Posterosuperior point on intertrochanteric crest";
constexpr const char* fossa_landmark_name = "Deepest point of trochanteric fossa";
constexpr const char* fovea_landmark_name = "Fovea capitis centre";
constexpr const char* shaft_landcurve_name = "Shaft at lesser trochanter";
constexpr const char* head_neck_landcurve_name = "Head-neck boundary";
constexpr const char* lesser_trochanter_landcurve_name = "Lesser trochanter";

// One analysis of one surface: created, run once with analyse_proximal_femur, destroyed.
class FemurAnalyser {
public:
    // Appends to the surface the landcurves and landmarks it can place; side is 0 left, 1 right.
    void analyse_proximal_femur(Surface& surface, std::uint8_t side);
};
