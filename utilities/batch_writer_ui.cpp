// The "Write" button of the automatic batch file writer: reads the registration controls and
// writes the batch files for the LR surface's directory.
#include "app/frame.h"
#include "registration/registration_type.h"
#include "utilities/batch_writer.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/slider.h>

void MyFrame::OnBFWriter(wxCommandEvent&)
{
    const bool use_defaults = defaults_checkbox->GetValue();
    BatchWriterControls controls;
    const int range = search_range_slider->GetValue();
    controls.range = range == search_range_slider->GetMax() ? 999 : range;
    controls.fussy = auto_sequence_checkbox->GetValue() ? -1 : fussy_slider->GetValue();
    controls.iterations = iterations_slider->GetValue();
    controls.registration_type = registration_choice->GetSelection();
    const int rims = rims_radiobox->GetSelection();
    controls.rims = rims == rims_no ? 0 : rims == rims_to_rims ? 2 : 1;
    write_batch_files(*this, use_defaults, controls);
}
