// The statistical shape model of the LR surface.
#pragma once

#include "app/working_state.h"

// Reads the shape model that belongs to the loaded LR surface into the working state; true
// when one was read. Shows no message.
bool load_ssm_file(WorkingState& state);
