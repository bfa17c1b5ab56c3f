#include "app/frame.h"
#include "registration/registration_file.h"

void MyFrame::OnRegSave(wxCommandEvent&)
{
    save_registration(*this);
}
