// The start pose of a surface pair.
#pragma once

#include "surface/matrix4.h"

struct Surface;

// The pose between the centred LR and HR frames that a pair starts from: for an LR femur the
// natural axes aligned and moved by the difference of the axial extents, else the identity;
// outside a batch run the LR mirror is applied when the names give one left and one right
// bone, or, with a side undetermined by name, when both are femurs of different geometric
// sides.
Matrix4 compute_default_pose(const Surface& lr, const Surface& hr, bool batch_running);
