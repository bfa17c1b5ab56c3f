#include "registration/registration_type.h"

#include "app/working_state.h"

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

std::vector<Point3>* stored_result(Surface& lr, int type)
{
    switch (type) {
    case similarity_lad:
        return &lr.sim_lad_positions;
    case affine_lad:
        return &lr.aff_lad_positions;
    case aspect_lad:
        return &lr.aspect_lad_positions;
    case similarity_tps:
        return &lr.sim_tps_positions;
    case similarity_ssm:
        return &lr.sim_ssm_positions;
    default:
        return nullptr;
    }
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
