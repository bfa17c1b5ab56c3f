// The one driver through which every non-linear least-squares fit of the program runs:
// Levenberg-Marquardt with a forward-difference Jacobian (MINPACK lmdif) and fixed settings.
#pragma once

#include <cstdint>

// Writes the m residuals at x into fvec. context is the caller's fit state, handed through
// unchanged. The program's residual functions leave iflag alone and return 0.
using ResidualFunction = int (*)(void* context, int m, int n, const double* x, double* fvec,
                                 int iflag);

// Minimises the sum of squares of the m residuals over the n parameters x (start values in,
// solution out). fvec is caller space for m doubles and holds the residuals at the solution.
// tol is both the relative reduction of the sum of squares and the relative change of x that
// end the fit. info receives the solver's code: 0 improper input (n <= 0, m < n, tol < 0, a
// count beyond the solver's integer range, or no memory for the work arrays; x untouched),
// 1 to 3 converged, 4 residuals orthogonal to the Jacobian, 5 evaluation limit 200 (n + 1),
// 6 and 7 tolerance too small. A parameter that is not zero but smaller than 1e-5 is fitted as
// an increment from its start, so that its difference step is not lost in rounding (x still
// comes back as the parameters themselves). Not re-entrant per fit: a residual function must
// not start another fit with the same context.
void run_lmdif(ResidualFunction fcn, void* context, std::int64_t m, std::int64_t n, double* x,
               double* fvec, double tol, std::int64_t& info);
