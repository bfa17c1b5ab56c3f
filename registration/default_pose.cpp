#include "registration/default_pose.h"

#include "analysis/bone_side.h"
#include "surface/surface.h"

Matrix4 compute_default_pose(const Surface& lr, const Surface& hr, bool batch_running)
{
    Matrix4 pose = identity_matrix();
    if (lr.is_femur) {
        Matrix4 lr_inverse;
        invert_rigid(lr_inverse, lr.natural_axes);
        pose = product(hr.natural_axes, lr_inverse);
        const double shift = hr.axial_extent - lr.axial_extent;
        pose[12] = shift * hr.natural_axes[0];
        pose[13] = shift * hr.natural_axes[1];
        pose[14] = shift * hr.natural_axes[2];
    }
    if (batch_running)
        return pose;
    const int a = side_from_name(wxString::FromUTF8(lr.name));
    const int b = side_from_name(wxString::FromUTF8(hr.name));
    const bool opposite_by_name = (a == bone_left && b == bone_right) ||
                                  (a == bone_right && b == bone_left);
    const bool opposite_by_shape = (a == bone_undetermined || b == bone_undetermined) &&
                                   lr.is_femur && hr.is_femur &&
                                   lr.geometric_side != hr.geometric_side;
    if (opposite_by_name || opposite_by_shape)
        pose = product(pose, lr.mirror);
    return pose;
}
