// A transcription of lmdif as cminpack 1.3.6 writes it (lmdif.c, with qrfac.c, enorm.c and
// fdjac2.c, which it calls): the Levenberg-Marquardt solver behind every fit of the program.
//
// Why it is here: an iteration of a registration spends most of its time in lmdif's own loops
// over the m residuals rather than in the residuals: the QR factorisation of the m x n
// Jacobian, the norms of its columns and of the residual vector, the forward differences and
// (Q^T) f. The library runs all of them on one thread, one dependent addition after another.
// Here the same loops
//  - are built at -O3 with -ffp-contract=off (CMakeLists.txt): element-wise loops use vector
//    instructions, and no multiplication and addition are fused into one rounding;
//  - compute several sums in one pass, each in exactly the library's order: the dot products
//    of the Householder vector with the later columns, the initial column norms, and (Q^T) f,
//    whose every step applies the Householder vector of the same step of the factorisation and
//    so is done in that step, as one more column;
//  - spread the per-column work of each Householder step (a column's dot product, its update,
//    its norm's downdate) over the worker pool: each column is worked on by one thread, in the
//    library's order, so that the thread count changes nothing.
// Every floating-point operation of the library is done here on the same operands, in the
// same order; only which of them run side by side differs. So x, fvec, info, nfev and every
// work array come out bit for bit as the library's lmdif leaves them, which
// tests/surface/lmdif_transcription_test.cpp checks against the library on a table of
// problems. The library stays linked: lmpar (and qrsolv under it), which work on n x n only,
// are called there.
//
// enorm's sums: enorm adds the squares of its intermediate components (above rdwarf and below
// rgiant / n) in index order and keeps two scaled sums for the others. When every component
// is intermediate or zero (a zero changes no sum), the plain sum of squares in index order is
// enorm's own; a vector with any other component goes to enorm as written.
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
// (lmdif, qrfac, enorm, fdjac2: Argonne National Laboratory, MINPACK project, March 1980,
// Burton S. Garbow, Kenneth E. Hillstrom, Jorge J. More; C by Frederic Devernay.)
#include "surface/lmdif_transcription.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

namespace {

using std::size_t;

// MINPACK's min and max, which take the second operand when the comparison fails.
double minpack_min(double a, double b) { return a <= b ? a : b; }
double minpack_max(double a, double b) { return a >= b ? a : b; }

constexpr double epsmch = std::numeric_limits<double>::epsilon(); // dpmpar(1)
// enorm's bounds of the intermediate components in double precision.
constexpr double rdwarf = 1.82691291192569e-153;
constexpr double rgiant = 1.34078079299426e+153;

// Element operations (a row of a column's dot product or update) from which a loop is worth
// waking the worker pool for; a few hundred microseconds of work.
constexpr size_t parallel_work = size_t{1} << 18;
// Rows per chunk of an element-wise loop over a column.
constexpr size_t rows_per_chunk = size_t{1} << 15;
// Rows per block of the column updates, so that the Householder vector's block stays in the
// first-level cache while it is applied to several columns.
constexpr size_t update_block = 512;

// ---- enorm ----

// enorm's last step, from its three sums and its largest large and small magnitudes.
double norm_from_sums(double s1, double s2, double s3, double x1max, double x3max)
{
    if (s1 != 0.)
        return x1max * std::sqrt(s1 + (s2 / x1max) / x1max);
    if (s2 != 0.) {
        if (s2 >= x3max)
            return std::sqrt(s2 * (1. + (x3max / s2) * (x3max * s3)));
        return std::sqrt(x3max * ((s2 / x3max) + (x3max * s3)));
    }
    return x3max * std::sqrt(s3);
}

// enorm as written.
double literal_enorm(int n, const double* x)
{
    double s1 = 0.;
    double s2 = 0.;
    double s3 = 0.;
    double x1max = 0.;
    double x3max = 0.;
    const double agiant = rgiant / static_cast<double>(n);
    for (int i = 0; i < n; ++i) {
        const double xabs = std::fabs(x[i]);
        if (xabs >= agiant) {
            if (xabs > x1max) {
                const double d1 = x1max / xabs;
                s1 = 1. + s1 * (d1 * d1);
                x1max = xabs;
            } else {
                const double d1 = xabs / x1max;
                s1 += d1 * d1;
            }
        } else if (xabs <= rdwarf) {
            if (xabs > x3max) {
                const double d1 = x3max / xabs;
                s3 = 1. + s3 * (d1 * d1);
                x3max = xabs;
            } else if (xabs != 0.) {
                const double d1 = xabs / x3max;
                s3 += d1 * d1;
            }
        } else {
            s2 += xabs * xabs;
        }
    }
    return norm_from_sums(s1, s2, s3, x1max, x3max);
}

// 1 when enorm adds v's square to its intermediate sum or v is zero.
unsigned adds_plainly(double v, double agiant)
{
    const double a = std::fabs(v);
    return static_cast<unsigned>(!(a >= agiant)) &
           (static_cast<unsigned>(a > rdwarf) | static_cast<unsigned>(a == 0.));
}

// enorm of G vectors of one length at once: norms[g] = enorm(length, v[g]).
template <int G> void vector_norms(int length, const double* const* v, double* norms)
{
    const double agiant = rgiant / static_cast<double>(length);
    double s[G];
    unsigned plain[G];
    for (int g = 0; g < G; ++g) {
        s[g] = 0.;
        plain[g] = 1;
    }
    for (int i = 0; i < length; ++i)
        for (int g = 0; g < G; ++g) {
            const double e = v[g][i];
            s[g] += e * e;
            plain[g] &= adds_plainly(e, agiant);
        }
    for (int g = 0; g < G; ++g)
        norms[g] =
            plain[g] != 0 ? norm_from_sums(0., s[g], 0., 0., 0.) : literal_enorm(length, v[g]);
}

double vector_norm(int n, const double* x)
{
    double norm = 0.;
    vector_norms<1>(n, &x, &norm);
    return norm;
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
        parallel_for(rows, rows >= parallel_work ? rows_per_chunk : rows,
                     [&](size_t begin, size_t end) {
                         for (size_t i = begin; i < end; ++i)
                             column[i] = (wa[i] - fvec[i]) / h;
                     });
    }
    return 0;
}

// ---- qrfac, with (Q^T) f formed alongside ----

// The factorisation of lmdif's call: qrfac(m, n, fjac, ldfjac, TRUE, ipvt, n, wa1, wa2, wa3),
// pivoting always. Its step j also does step j of lmdif's loop that forms (Q^T) f in wa4
// (from fvec at step 0), which needs nothing but column j as step j leaves it and wa4 as the
// steps before left it.
struct Factorisation {
    int m = 0;
    int n = 0;
    double* a = nullptr;
    size_t lda = 0;
    int* ipvt = nullptr;
    double* rdiag = nullptr;
    double* acnorm = nullptr;
    double* wa = nullptr;
    const double* fvec = nullptr;
    double* qtf_work = nullptr; // lmdif's wa4

    double* column(int k) const { return a + static_cast<size_t>(k) * lda; }
};

// sums[g] = the sum over i < rows of v[i] * w[g][i], each in index order, as qrfac and lmdif
// form their dot products.
template <int G>
void dot_products(size_t rows, const double* v, const double* const* w, double* sums)
{
    double s[G];
    for (int g = 0; g < G; ++g)
        s[g] = 0.;
    for (size_t i = 0; i < rows; ++i) {
        const double vi = v[i];
        for (int g = 0; g < G; ++g)
            s[g] += vi * w[g][i];
    }
    for (int g = 0; g < G; ++g)
        sums[g] = s[g];
}

// w[i] -= temp * v[i] for i < rows.
void subtract_multiple(size_t rows, double temp, const double* __restrict v, double* __restrict w)
{
    for (size_t i = 0; i < rows; ++i)
        w[i] -= temp * v[i];
}

// qrfac's downdate of the norm of column k after step j, with its recomputation when the
// downdate has cancelled too far.
void downdate_norm(const Factorisation& f, int j, int k)
{
    constexpr double p05 = .05;
    double* rdiag = f.rdiag;
    if (rdiag[k] == 0.)
        return;
    const double* a = f.column(k);
    const double temp = a[j] / rdiag[k];
    double d1 = 1. - temp * temp;
    rdiag[k] *= std::sqrt(minpack_max(0., d1));
    d1 = rdiag[k] / f.wa[k];
    if (p05 * (d1 * d1) <= epsmch) {
        rdiag[k] = vector_norm(f.m - (j + 1), a + j + 1);
        f.wa[k] = rdiag[k];
    }
}

// Step j of qrfac for the G columns ks: each one's dot product with the Householder vector,
// its update and its norm's downdate.
template <int G> void transform_columns(const Factorisation& f, int j, const int* ks)
{
    const auto rows = static_cast<size_t>(f.m - j);
    const double* v = f.column(j) + j;
    double* w[G];
    for (int g = 0; g < G; ++g)
        w[g] = f.column(ks[g]) + j;
    double sums[G];
    dot_products<G>(rows, v, w, sums);
    double temps[G];
    for (int g = 0; g < G; ++g)
        temps[g] = sums[g] / v[0];
    for (size_t begin = 0; begin < rows; begin += update_block) {
        const size_t length = std::min(update_block, rows - begin);
        for (int g = 0; g < G; ++g)
            subtract_multiple(length, temps[g], v + begin, w[g] + begin);
    }
    for (int g = 0; g < G; ++g)
        downdate_norm(f, j, ks[g]);
}

// Step j of lmdif's loop that forms (Q^T) f: wa4 from row j on, by column j.
void transform_residuals(const Factorisation& f, int j)
{
    const auto rows = static_cast<size_t>(f.m - j);
    const double* v = f.column(j) + j;
    const double* source = (j == 0 ? f.fvec : f.qtf_work) + j;
    double* target = f.qtf_work + j;
    if (v[0] != 0.) {
        double sum = 0.;
        dot_products<1>(rows, v, &source, &sum);
        const double temp = -sum / v[0];
        for (size_t i = 0; i < rows; ++i)
            target[i] = source[i] + v[i] * temp;
    } else if (j == 0) {
        std::memcpy(target, source, rows * sizeof(double));
    }
}

// The work items of step j from first to last - 1: item t < columns is column j + 1 + t, item
// columns is (Q^T) f. Columns go four at a time, so that four dot products share each pass.
void run_step_items(const Factorisation& f, int j, int columns, size_t first, size_t last)
{
    int ks[4];
    int count = 0;
    const auto flush = [&] {
        switch (count) {
        case 4:
            transform_columns<4>(f, j, ks);
            break;
        case 3:
            transform_columns<3>(f, j, ks);
            break;
        case 2:
            transform_columns<2>(f, j, ks);
            break;
        case 1:
            transform_columns<1>(f, j, ks);
            break;
        default:
            break;
        }
        count = 0;
    };
    for (size_t t = first; t < last; ++t) {
        if (t == static_cast<size_t>(columns)) {
            transform_residuals(f, j);
            continue;
        }
        ks[count++] = j + 1 + static_cast<int>(t);
        if (count == 4)
            flush();
    }
    flush();
}

// The chunk of items for a loop over count items of rows each: whole groups of four when
// there are many, single items when there are few, everything on the caller when the work is
// too small to share.
size_t items_per_chunk(size_t count, size_t rows)
{
    if (count * rows < parallel_work)
        return count;
    return count >= 8 * static_cast<size_t>(worker_thread_count()) ? 4 : 1;
}

void initial_norms(const Factorisation& f)
{
    const auto n = static_cast<size_t>(f.n);
    parallel_for(n, items_per_chunk(n, static_cast<size_t>(f.m)), [&](size_t begin, size_t end) {
        for (size_t j = begin; j < end; j += 4) {
            const double* v[4];
            const size_t group = std::min<size_t>(4, end - j);
            for (size_t g = 0; g < group; ++g)
                v[g] = f.column(static_cast<int>(j + g));
            double* norms = f.acnorm + j;
            switch (group) {
            case 4:
                vector_norms<4>(f.m, v, norms);
                break;
            case 3:
                vector_norms<3>(f.m, v, norms);
                break;
            case 2:
                vector_norms<2>(f.m, v, norms);
                break;
            default:
                vector_norms<1>(f.m, v, norms);
                break;
            }
        }
    });
    for (int j = 0; j < f.n; ++j) {
        f.rdiag[j] = f.acnorm[j];
        f.wa[j] = f.rdiag[j];
        f.ipvt[j] = j + 1;
    }
}

void factorise(const Factorisation& f)
{
    // compute the initial column norms and initialize several arrays.
    initial_norms(f);

    // reduce a to r with householder transformations (m >= n: lmdif checked).
    for (int j = 0; j < f.n; ++j) {
        // bring the column of largest norm into the pivot position.
        int kmax = j;
        for (int k = j; k < f.n; ++k)
            if (f.rdiag[k] > f.rdiag[kmax])
                kmax = k;
        if (kmax != j) {
            double* a = f.column(j);
            double* b = f.column(kmax);
            for (int i = 0; i < f.m; ++i)
                std::swap(a[i], b[i]);
            f.rdiag[kmax] = f.rdiag[j];
            f.wa[kmax] = f.wa[j];
            std::swap(f.ipvt[j], f.ipvt[kmax]);
        }

        // compute the householder transformation to reduce the j-th column of a to a
        // multiple of the j-th unit vector.
        double* v = f.column(j) + j;
        const auto rows = static_cast<size_t>(f.m - j);
        double ajnorm = vector_norm(f.m - j, v);
        int columns = 0;
        if (ajnorm != 0.) {
            if (v[0] < 0.)
                ajnorm = -ajnorm;
            for (size_t i = 0; i < rows; ++i)
                v[i] /= ajnorm;
            v[0] += 1.;
            // apply the transformation to the remaining columns and update the norms.
            columns = f.n - (j + 1);
        }
        const size_t items = static_cast<size_t>(columns) + 1;
        parallel_for(items, items_per_chunk(items, rows),
                     [&](size_t begin, size_t end) { run_step_items(f, j, columns, begin, end); });
        f.rdiag[j] = -ajnorm;
    }
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
    fnorm = vector_norm(m, fvec);

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
            Factorisation f;
            f.m = m;
            f.n = n;
            f.a = fjac;
            f.lda = ld;
            f.ipvt = ipvt;
            f.rdiag = wa1;
            f.acnorm = wa2;
            f.wa = wa3;
            f.fvec = fvec;
            f.qtf_work = wa4;
            factorise(f);
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
                std::memcpy(fvec, wa4, static_cast<size_t>(m) * sizeof(double));
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
