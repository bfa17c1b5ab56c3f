// Matching and the alignment error with the matching controls as they stand.
#include "app/frame.h"
#include "registration/matching.h"

#include <wx/radiobox.h>
#include <wx/slider.h>

MatchControls MyFrame::match_controls() const
{
    return {fussy_slider->GetValue(), rims_radiobox->GetSelection(),
            search_range_slider->GetValue()};
}

void MyFrame::match_vertices(int pass) { ::match_vertices(*this, pass, match_controls()); }

void MyFrame::establish_matches() { ::establish_matches(*this, match_controls()); }

void MyFrame::establish_matches_and_display_alignment_error()
{
    ::establish_matches_and_display_alignment_error(*this, match_controls(),
                                                    iterations_slider->GetValue());
}
