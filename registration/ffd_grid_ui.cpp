// The LR deformed positions for the current registration type.
#include "app/frame.h"
#include "registration/ffd_grid.h"

void MyFrame::update_deformed_positions()
{
    ::update_deformed_positions(*this, current_registration_type());
}
