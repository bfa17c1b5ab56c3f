// "Create" in the box "Automatic SSM creator": reads the model choice and the two check boxes,
// runs the creator and shows the new model's mean.
#include "app/frame.h"
#include "utilities/ssm_creator.h"

#include <wx/checkbox.h>
#include <wx/choice.h>

#include <cstdint>

void MyFrame::OnSSMCreate(wxCommandEvent&)
{
    const int item = ssm_creator_choice->GetSelection();
    const int code = item == wxNOT_FOUND ? 0
                                         : static_cast<int>(reinterpret_cast<std::intptr_t>(
                                               ssm_creator_choice->GetClientData(item)));
    if (!create_shape_model(*this, code, procrustes_checkbox->GetValue(),
                            rescale_checkbox->GetValue()))
        return;
    show_shape_model_controls();
    show_ssm_mean();
}
