// A transcription of lmdif as cminpack 1.3.6 writes it (lmdif.c, with qrfac.c, enorm.c and
// fdjac2.c, which it calls): the Levenberg-Marquardt solver behind every fit of the program.
// lmdif and fdjac2 are here, qrfac with lmdif's (Q^T) f in lmdif_qrfac.cpp, enorm in
// lmdif_arithmetic.cpp.
//
// Why it is here: an iteration of a registration spends most of its time in lmdif's own loops
// over the m residuals rather than in the residuals: the QR factorisation of the m x n
// Jacobian, the norms of its columns and of the residual vector, the forward differences and
// (Q^T) f. The library runs all of them on one thread, one dependent addition after another.
// The transcription's loops
//  - are built at -O3 with -ffp-contract=off (CMakeLists.txt): element-wise loops use vector
//    instructions, and no multiplication and addition are fused into one rounding;
//  - compute several sums in one pass, each in exactly the library's order: the dot products
//    of the Householder vector with the later columns, the initial column norms with the norm
//    of the starting residuals, and (Q^T) f, whose every step applies the Householder vector
//    of the same step of the factorisation and so is done in that step, as one more column;
//  - pass over the rows as few times as the order of the operations allows (lmdif_qrfac.cpp
//    says how), since with hundreds of thousands of rows the Jacobian is far larger than the
//    caches and every pass is paid in memory traffic;
//  - spread the per-column work of each Householder step (a column's dot product, its update,
//    its norm's downdate) over the worker pool when the columns are long enough to pay for
//    waking it: each column is worked on by one thread, in the library's order, so that the
//    thread count changes nothing.
// Every floating-point operation of the library is done here on the same operands, in the
// same order; only which of them run side by side differs, and the library's repeated work
// (the same norm of the same vector twice) is done once. So x, fvec, info, nfev and every
// work array come out bit for bit as the library's lmdif leaves them, which
// tests/surface/lmdif_transcription_test.cpp checks against the library on a table of
// problems. The library stays linked: lmpar (and qrsolv under it), which work on n x n only,
// are called there.
//
// The notice of the transcribed source, kept as its licence asks:
//
// Minpack Copyright Notice (1999) University of Chicago.  All rights reserved
//
// Redistribution and use in source and binary forms, with or
// without modification, are permitted provided that the
// following conditions are met:
//
// 1. Redistributions of source code must retain the above
// copyright notice, this list of conditions and the following
// disclaimer.
//
// 2. Redistributions in binary form must reproduce the above
// copyright notice, this list of conditions and the following
// disclaimer in the documentation and/or other materials
// provided with the distribution.
//
// 3. The end-user documentation included with the
// redistribution, if any, must include the following
// acknowledgment:
//
//    "This product includes software developed by the
//    University of Chicago, as Operator of Argonne National
//    Laboratory.
//
// Alternately, this acknowledgment may appear in the software
// itself, if and wherever such third-party acknowledgments
// normally appear.
//
// 4. WARRANTY DISCLAIMER. THE SOFTWARE IS SUPPLIED "AS IS"
// WITHOUT WARRANTY OF ANY KIND. THE COPYRIGHT HOLDER, THE
// UNITED STATES, THE UNITED STATES DEPARTMENT OF ENERGY, AND
// THEIR EMPLOYEES: (1) DISCLAIM ANY WARRANTIES, EXPRESS OR
// IMPLIED, INCLUDING BUT NOT LIMITED TO ANY IMPLIED WARRANTIES
// OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE, TITLE
// OR NON-INFRINGEMENT, (2) DO NOT ASSUME ANY LEGAL LIABILITY
// OR RESPONSIBILITY FOR THE ACCURACY, COMPLETENESS, OR
// USEFULNESS OF THE SOFTWARE, (3) DO NOT REPRESENT THAT USE OF
// THE SOFTWARE WOULD NOT INFRINGE PRIVATELY OWNED RIGHTS, (4)
// DO NOT WARRANT THAT THE SOFTWARE WILL FUNCTION
// UNINTERRUPTED, THAT IT IS ERROR-FREE OR THAT ANY ERRORS WILL
// BE CORRECTED.
//
// 5. LIMITATION OF LIABILITY. IN NO EVENT WILL THE COPYRIGHT
// HOLDER, THE UNITED STATES, THE UNITED STATES DEPARTMENT OF
// ENERGY, OR THEIR EMPLOYEES: BE LIABLE FOR ANY INDIRECT,
// INCIDENTAL, CONSEQUENTIAL, SPECIAL OR PUNITIVE DAMAGES OF
// ANY KIND OR NATURE, INCLUDING BUT NOT LIMITED TO LOSS OF
// PROFITS OR LOSS OF DATA, FOR ANY REASON WHATSOEVER, WHETHER
// SUCH LIABILITY IS ASSERTED ON THE BASIS OF CONTRACT, TORT
// (INCLUDING NEGLIGENCE OR STRICT LIABILITY), OR OTHERWISE,
// EVEN IF ANY OF SAID PARTIES HAS BEEN WARNED OF THE
// POSSIBILITY OF SUCH LOSS OR DAMAGES.
//
// (lmdif, fdjac2: Argonne National Laboratory, MINPACK project, March 1980,
// Burton S. Garbow, Kenneth E. Hillstrom, Jorge J. More; C by Frederic Devernay.)
#include "surface/lmdif_transcription.h"

#include "surface/lmdif_arithmetic.h"
#include "surface/lmdif_qrfac.h"
#include "surface/thread_pool.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

using std::size_t;
using transcribed_minpack::epsmch;
using transcribed_minpack::FactorisationArrays;
using transcribed_minpack::FactorisationWork;
using transcribed_minpack::minpack_max;
using transcribed_minpack::minpack_min;
using transcribed_minpack::row_chunk;
using transcribed_minpack::vector_norm;

// target[i] = source[i] for i < rows, over the threads when there are many.
void copy_rows(const double* source, double* target, size_t rows)
{
    parallel_for(rows, row_chunk(rows), [&](size_t begin, size_t end) {
        std::memcpy(target + begin, source + begin, (end - begin) * sizeof(double));
    });
}

// ---- fdjac2 ----

int forward_differences(cminpack_func_mn fcn, void* p, int m, int n, double* x, const double* fvec,
                        double* fjac, int ldfjac, double epsfcn, double* wa)
{
    const double eps = std::sqrt(minpack_max(epsfcn, epsmch));
    const auto rows = static_cast<size_t>(m);
    for (int j = 0; j < n; ++j) {
        const double temp = x[j];
        double h = eps * std::fabs(temp);
        if (h == 0.)
            h = eps;
        x[j] = temp + h;
        const int iflag = fcn(p, m, n, x, wa, 2);
        if (iflag < 0)
            return iflag;
        x[j] = temp;
        double* column = fjac + static_cast<size_t>(j) * static_cast<size_t>(ldfjac);
        parallel_for(rows, row_chunk(rows), [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                column[i] = (wa[i] - fvec[i]) / h;
        });
    }
    return 0;
}

} // namespace

int transcribed_lmdif(cminpack_func_mn fcn, void* p, int m, int n, double* x, double* fvec,
                      double ftol, double xtol, double gtol, int maxfev, double epsfcn,
                      double* diag, int mode, double factor, int nprint, int* nfev, double* fjac,
                      int ldfjac, int* ipvt, double* qtf, double* wa1, double* wa2, double* wa3,
                      double* wa4)
{
    constexpr double p1 = .1;
    constexpr double p5 = .5;
    constexpr double p25 = .25;
    constexpr double p75 = .75;
    constexpr double p0001 = 1e-4;

    double d1 = 0.;
    double d2 = 0.;
    double par = 0.;
    double sum = 0.;
    int iter = 0;
    double temp = 0.;
    double temp1 = 0.;
    double temp2 = 0.;
    double delta = 0.;
    double ratio = 0.;
    double fnorm = 0.;
    double gnorm = 0.;
    double pnorm = 0.;
    double xnorm = 0.;
    double fnorm1 = 0.;
    double actred = 0.;
    double dirder = 0.;
    double prered = 0.;
    const auto ld = static_cast<size_t>(ldfjac);
    FactorisationWork factorisation;
    bool fnorm_later = false;

    int info = 0;
    int iflag = 0;
    *nfev = 0;

    // check the input parameters for errors.
    if (n <= 0 || m < n || ldfjac < m || ftol < 0. || xtol < 0. || gtol < 0. || maxfev <= 0 ||
        factor <= 0.) {
        goto TERMINATE;
    }
    if (mode == 2) {
        for (int j = 0; j < n; ++j) {
            if (diag[j] <= 0.) {
                goto TERMINATE;
            }
        }
    }

    // evaluate the function at the starting point and calculate its norm.
    iflag = fcn(p, m, n, x, fvec, 1);
    *nfev = 1;
    if (iflag < 0) {
        goto TERMINATE;
    }
    // fnorm is first read after the factorisation, whose pass over the columns for their
    // norms takes it too, unless fcn is called with fvec for printing before.
    fnorm_later = nprint <= 0;
    if (!fnorm_later) {
        fnorm = vector_norm(m, fvec);
    }

    // initialize levenberg-marquardt parameter and iteration counter.
    par = 0.;
    iter = 1;

    // beginning of the outer loop.
    for (;;) {
        // calculate the jacobian matrix.
        iflag = forward_differences(fcn, p, m, n, x, fvec, fjac, ldfjac, epsfcn, wa4);
        *nfev += n;
        if (iflag < 0) {
            goto TERMINATE;
        }

        // if requested, call fcn to enable printing of iterates.
        if (nprint > 0) {
            iflag = 0;
            if ((iter - 1) % nprint == 0) {
                iflag = fcn(p, m, n, x, fvec, 0);
            }
            if (iflag < 0) {
                goto TERMINATE;
            }
        }

        // compute the qr factorization of the jacobian, and (q transpose)*fvec in wa4.
        {
            FactorisationArrays arrays;
            arrays.m = m;
            arrays.n = n;
            arrays.a = fjac;
            arrays.lda = ld;
            arrays.ipvt = ipvt;
            arrays.rdiag = wa1;
            arrays.acnorm = wa2;
            arrays.wa = wa3;
            arrays.fvec = fvec;
            arrays.qtf = wa4;
            arrays.fnorm = fnorm_later ? &fnorm : nullptr;
            factorise(arrays, factorisation);
            fnorm_later = false;
        }

        // on the first iteration and if mode is 1, scale according to the norms of the
        // columns of the initial jacobian.
        if (iter == 1) {
            if (mode != 2) {
                for (int j = 0; j < n; ++j) {
                    diag[j] = wa2[j];
                    if (wa2[j] == 0.) {
                        diag[j] = 1.;
                    }
                }
            }

            // on the first iteration, calculate the norm of the scaled x and initialize the
            // step bound delta.
            for (int j = 0; j < n; ++j) {
                wa3[j] = diag[j] * x[j];
            }
            xnorm = vector_norm(n, wa3);
            delta = factor * xnorm;
            if (delta == 0.) {
                delta = factor;
            }
        }

        // form (q transpose)*fvec and store the first n components in qtf: wa4 holds it
        // from the factorisation.
        for (int j = 0; j < n; ++j) {
            fjac[static_cast<size_t>(j) * (ld + 1)] = wa1[j];
            qtf[j] = wa4[j];
        }

        // compute the norm of the scaled gradient.
        gnorm = 0.;
        if (fnorm != 0.) {
            for (int j = 0; j < n; ++j) {
                const int l = ipvt[j] - 1;
                if (wa2[l] != 0.) {
                    sum = 0.;
                    for (int i = 0; i <= j; ++i) {
                        sum += fjac[static_cast<size_t>(i) + static_cast<size_t>(j) * ld] *
                               (qtf[i] / fnorm);
                    }
                    d1 = std::fabs(sum / wa2[l]);
                    gnorm = minpack_max(gnorm, d1);
                }
            }
        }

        // test for convergence of the gradient norm.
        if (gnorm <= gtol) {
            info = 4;
        }
        if (info != 0) {
            goto TERMINATE;
        }

        // rescale if necessary.
        if (mode != 2) {
            for (int j = 0; j < n; ++j) {
                d1 = diag[j], d2 = wa2[j];
                diag[j] = minpack_max(d1, d2);
            }
        }

        // beginning of the inner loop.
        do {
            // determine the levenberg-marquardt parameter.
            lmpar(n, fjac, ldfjac, ipvt, diag, qtf, delta, &par, wa1, wa2, wa3, wa4);

            // store the direction p and x + p. calculate the norm of p.
            for (int j = 0; j < n; ++j) {
                wa1[j] = -wa1[j];
                wa2[j] = x[j] + wa1[j];
                wa3[j] = diag[j] * wa1[j];
            }
            pnorm = vector_norm(n, wa3);

            // on the first iteration, adjust the initial step bound.
            if (iter == 1) {
                delta = minpack_min(delta, pnorm);
            }

            // evaluate the function at x + p and calculate its norm.
            iflag = fcn(p, m, n, wa2, wa4, 1);
            ++(*nfev);
            if (iflag < 0) {
                goto TERMINATE;
            }
            fnorm1 = vector_norm(m, wa4);

            // compute the scaled actual reduction.
            actred = -1.;
            if (p1 * fnorm1 < fnorm) {
                d1 = fnorm1 / fnorm;
                actred = 1. - d1 * d1;
            }

            // compute the scaled predicted reduction and the scaled directional derivative.
            for (int j = 0; j < n; ++j) {
                wa3[j] = 0.;
                const int l = ipvt[j] - 1;
                temp = wa1[l];
                for (int i = 0; i <= j; ++i) {
                    wa3[i] += fjac[static_cast<size_t>(i) + static_cast<size_t>(j) * ld] * temp;
                }
            }
            temp1 = vector_norm(n, wa3) / fnorm;
            temp2 = (std::sqrt(par) * pnorm) / fnorm;
            prered = temp1 * temp1 + temp2 * temp2 / p5;
            dirder = -(temp1 * temp1 + temp2 * temp2);

            // compute the ratio of the actual to the predicted reduction.
            ratio = 0.;
            if (prered != 0.) {
                ratio = actred / prered;
            }

            // update the step bound.
            if (ratio <= p25) {
                if (actred >= 0.) {
                    temp = p5;
                } else {
                    temp = p5 * dirder / (dirder + p5 * actred);
                }
                if (p1 * fnorm1 >= fnorm || temp < p1) {
                    temp = p1;
                }
                d1 = pnorm / p1;
                delta = temp * minpack_min(delta, d1);
                par /= temp;
            } else {
                if (par == 0. || ratio >= p75) {
                    delta = pnorm / p5;
                    par = p5 * par;
                }
            }

            // test for successful iteration.
            if (ratio >= p0001) {
                // successful iteration. update x, fvec, and their norms.
                for (int j = 0; j < n; ++j) {
                    x[j] = wa2[j];
                    wa2[j] = diag[j] * x[j];
                }
                copy_rows(wa4, fvec, static_cast<size_t>(m));
                xnorm = vector_norm(n, wa2);
                fnorm = fnorm1;
                ++iter;
            }

            // tests for convergence.
            if (std::fabs(actred) <= ftol && prered <= ftol && p5 * ratio <= 1.) {
                info = 1;
            }
            if (delta <= xtol * xnorm) {
                info = 2;
            }
            if (std::fabs(actred) <= ftol && prered <= ftol && p5 * ratio <= 1. && info == 2) {
                info = 3;
            }
            if (info != 0) {
                goto TERMINATE;
            }

            // tests for termination and stringent tolerances.
            if (*nfev >= maxfev) {
                info = 5;
            }
            if (std::fabs(actred) <= epsmch && prered <= epsmch && p5 * ratio <= 1.) {
                info = 6;
            }
            if (delta <= epsmch * xnorm) {
                info = 7;
            }
            if (gnorm <= epsmch) {
                info = 8;
            }
            if (info != 0) {
                goto TERMINATE;
            }

            // end of the inner loop. repeat if iteration unsuccessful.
        } while (ratio < p0001);

        // end of the outer loop.
    }

TERMINATE:
    // termination, either normal or user imposed.
    if (iflag < 0) {
        info = iflag;
    }
    if (nprint > 0) {
        fcn(p, m, n, x, fvec, 0);
    }
    return info;
}
