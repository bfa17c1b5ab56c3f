// Choosing and resetting the current registration type: what the LR surface shows, which FFD
// grid is current and which pose the family starts from.
#pragma once

struct WorkingState;

// Makes type the current registration type: with an LR surface, chooses the shown LR shape
// (positions as read for the linear types, deformed positions otherwise; the deformed
// positions are refilled for every type), selects the family's FFD grid for the FFD types and
// restores the family pose. Without an LR surface only the FFD grid is selected; returns false
// then (nothing to show).
bool select_registration_type(WorkingState& state, int type);

// "Reset" of type: the linear types get the default pose in their family slot, the FFD types
// the undeformed lattice, the LAD, TPS and SSM types the positions as read as their stored
// result (which is then unsaved); the current pose is restored, the deformed positions
// refilled and the LAD neighbourhoods scheduled for rebuilding. Matching and the error report
// are the caller's next step.
void reset_registration(WorkingState& state, int type);
