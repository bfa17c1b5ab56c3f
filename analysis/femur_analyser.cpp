#include "analysis/femur_analyser.h"

// femur landmarks are placed by a later change; until then the analysis adds nothing.
void FemurAnalyser::analyse_proximal_femur(Surface& /*surface*/, std::uint8_t /*side*/) {}
