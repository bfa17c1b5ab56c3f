#include "registration/local_affine.h"

// not built yet
void run_lad_step(WorkingState&, int, int, int, double) {}
