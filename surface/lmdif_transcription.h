// MINPACK's lmdif, transcribed so that its loops over the m residuals run faster while every
// result keeps the bits of the library's own lmdif (see lmdif_transcription.cpp for how).
#pragma once

#include <cminpack.h>

// The same arguments, work arrays and results as cminpack's lmdif (MINPACK's documentation of
// lmdif holds for every one of them): x, fvec, info, nfev, fjac, ipvt, qtf and the work arrays
// come out as the library leaves them. Loops over the columns of the Jacobian may run on the
// threads of the worker pool; fcn is always called on the calling thread, one call at a time.
int transcribed_lmdif(cminpack_func_mn fcn, void* p, int m, int n, double* x, double* fvec,
                      double ftol, double xtol, double gtol, int maxfev, double epsfcn,
                      double* diag, int mode, double factor, int nprint, int* nfev, double* fjac,
                      int ldfjac, int* ipvt, double* qtf, double* wa1, double* wa2, double* wa3,
                      double* wa4);
