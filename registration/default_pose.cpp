#include "registration/default_pose.h"

#include "app/working_state.h"

// not built yet
Matrix4 compute_default_pose(const WorkingState&)
{
    return identity_matrix();
}
