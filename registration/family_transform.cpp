#include "registration/family_transform.h"

#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/status_log.h"

#include <cmath>

const char* const singular_pose_message = "Singular registration transform: pose kept";

double linear_column_length(const Matrix4& t, int column)
{
    const int c = 4 * column;
    return std::sqrt(t[c] * t[c] + t[c + 1] * t[c + 1] + t[c + 2] * t[c + 2]);
}

Matrix4* family_slot(WorkingState& state, int type)
{
    if (!is_valid_registration_type(type))
        return nullptr;
    switch (transform_family(type)) {
    case TransformFamily::rigid:
        return &state.rigid_transform;
    case TransformFamily::affine:
        return &state.affine_transform;
    case TransformFamily::aspect:
        return &state.aspect_transform;
    case TransformFamily::similarity:
        break;
    }
    return &state.similarity_transform;
}

Matrix4 lr_to_hr_file_transform(const Surface& lr, const Surface& hr, const Matrix4& pose)
{
    return product(product(hr.from_centred, pose), lr.to_centred);
}

bool is_finite_transform(const Matrix4& transform)
{
    for (const double element : transform.m)
        if (!std::isfinite(element))
            return false;
    return true;
}

void store_current_transform(WorkingState& state, int type)
{
    if (Matrix4* slot = family_slot(state, type))
        *slot = state.current_transform;
    state.registration_unsaved = true;
    state.lr_surface->match_range2 = -1.0;
    mark_error_lists_out_of_date(state.list_dirty);
    state.rims_paired = false;
}

void restore_current_transform(WorkingState& state, int type)
{
    if (const Matrix4* slot = family_slot(state, type))
        state.current_transform = *slot;
    state.lr_surface->match_range2 = -1.0;
    mark_error_lists_out_of_date(state.list_dirty);
}

bool aspect_to_similarity(WorkingState& state, int type)
{
    Matrix4 a = state.aspect_transform;
    const double l0 = linear_column_length(a, 0);
    const double l1 = linear_column_length(a, 1);
    const double l2 = linear_column_length(a, 2);
    // A zero column would divide by zero (first two) or flatten the similarity to a point
    // (third).
    if (!(l0 > 0.0 && l1 > 0.0 && l2 > 0.0) || !std::isfinite(l0) || !std::isfinite(l1) ||
        !std::isfinite(l2) || !is_finite_transform(a)) {
        log_status(singular_pose_message);
        return false;
    }
    for (int e = 0; e < 3; ++e) {
        a[e] *= l2 / l0;
        a[4 + e] *= l2 / l1;
    }
    state.similarity_transform = a;
    restore_current_transform(state, type);
    state.registration_unsaved = true;
    return true;
}

bool scale_linear_part(WorkingState& state, double factor)
{
    if (factor == 0.0 || !std::isfinite(factor))
        return false;
    for (const int e : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        state.current_transform[e] *= factor;
    return true;
}
