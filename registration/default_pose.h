// The start pose of a surface pair.
#pragma once

#include "surface/matrix4.h"

struct WorkingState;

// The pose between the centred LR and HR frames that a pair starts from.
Matrix4 compute_default_pose(const WorkingState& state);
