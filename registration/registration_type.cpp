#include "registration/registration_type.h"

#include "state/working_state.h"

int result_slot(int type)
{
    switch (type) {
    case similarity_lad:
        return result_similarity_lad;
    case affine_lad:
        return result_affine_lad;
    case aspect_lad:
        return result_aspect_lad;
    case similarity_tps:
        return result_similarity_tps;
    case similarity_ssm:
        return result_similarity_ssm;
    default:
        return -1;
    }
}

namespace {

std::vector<Point3> Surface::*stored_member(int type)
{
    switch (type) {
    case similarity_lad:
        return &Surface::sim_lad_positions;
    case affine_lad:
        return &Surface::aff_lad_positions;
    case aspect_lad:
        return &Surface::aspect_lad_positions;
    case similarity_tps:
        return &Surface::sim_tps_positions;
    case similarity_ssm:
        return &Surface::sim_ssm_positions;
    default:
        return nullptr;
    }
}

} // namespace

std::vector<Point3>* stored_result(Surface& lr, int type)
{
    const auto member = stored_member(type);
    if (member == nullptr)
        return nullptr;
    std::vector<Point3>& shape = lr.*member;
    if (shape.empty())
        shape = lr.positions;
    return &shape;
}

const std::vector<Point3>* stored_result_view(const Surface& lr, int type)
{
    const auto member = stored_member(type);
    if (member == nullptr)
        return nullptr;
    return stored_shape_view(lr, lr.*member);
}

const std::vector<Point3>* stored_shape_view(const Surface& lr, const std::vector<Point3>& shape)
{
    return shape.empty() ? &lr.positions : &shape;
}

FfdGrid* family_ffd_grid(WorkingState& state, int type)
{
    switch (type) {
    case similarity_ffd:
        return &state.similarity_ffd_grid;
    case affine_ffd:
        return &state.affine_ffd_grid;
    case aspect_ffd:
        return &state.aspect_ffd_grid;
    default:
        return nullptr;
    }
}
