#include "registration/ffd_grid.h"

#include "app/working_state.h"

// not built yet
void reset_ffd_grid(const WorkingState&, FfdGrid& grid)
{
    grid = FfdGrid{};
}
