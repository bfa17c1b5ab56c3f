// "Surface shading" and "Mouse" selections; read by drawing, picking, smoothing, mapping, loading.
#pragma once

enum ShadingMode : int {
    shading_plain = 0,
    shading_surface_data = 1,
    shading_gaussian_curvature = 2,
    shading_registration_error = 3,
    shading_signed_data_error = 4,
    shading_absolute_data_error = 5,
};

enum MouseMode : int { mouse_viewpoint = 0, mouse_lr_surface = 1 };
