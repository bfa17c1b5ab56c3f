// Pairing of the loaded pair's annotations with the "Match rims" selection as it stands.
#include "app/frame.h"
#include "registration/pairing.h"

#include <wx/radiobox.h>

void MyFrame::pair_landmarks() { ::pair_landmarks(*lr_surface, *hr_surface); }

void MyFrame::pair_landcurves() { ::pair_landcurves(*this, rims_radiobox->GetSelection()); }
