// The poses of the four transform families and the working pose of the current type: storing
// and restoring, the default pose of a pair, "Aspect->Similarity" and scaling by the wheel.
// Every pose maps the centred LR frame to the centred HR frame.
#pragma once

#include "surface/matrix4.h"

struct Surface;
struct WorkingState;

// The family slot of a registration type (rigid, similarity, affine or aspect transform);
// nullptr when type is no valid type (nothing selected).
Matrix4* family_slot(WorkingState& state, int type);

// HR from_centred x pose x LR to_centred: LR file coordinates to HR file coordinates under a
// pose (the current transform, for the registration as it stands).
Matrix4 lr_to_hr_file_transform(const Surface& lr, const Surface& hr, const Matrix4& pose);

// All sixteen elements finite.
bool is_finite_transform(const Matrix4& transform);

// Copies the current transform into the family slot of type (nothing for no valid type), then
// marks the registration unsaved, forces a new matching, marks the error lists out of date and
// clears rims_paired.
void store_current_transform(WorkingState& state, int type);

// Copies the family slot of type into the current transform; forces a new matching and marks
// the error lists out of date.
void restore_current_transform(WorkingState& state, int type);

// The similarity slot becomes the aspect slot with its first two columns rescaled to the
// third's length, then the current transform is restored for type and the registration marked
// unsaved. An aspect transform with a zero column (or a non-finite element) gives no
// similarity: it is refused with a status message and nothing changes; returns false then.
bool aspect_to_similarity(WorkingState& state, int type);

// Multiplies the nine linear elements of the current transform by factor (translation kept).
// A zero or non-finite factor is refused (it would make the pose singular); returns false.
bool scale_linear_part(WorkingState& state, double factor);

// Length of column 0, 1 or 2 of the linear part.
double linear_column_length(const Matrix4& transform, int column);

// The status message of a refused singular or non-finite pose.
extern const char* const singular_pose_message;
