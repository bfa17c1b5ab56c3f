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
//    library's order, so that the thread count changes nothing;
//  - exchange columns for pivoting by where they are kept rather than by moving them, and move
//    every column to its place once at the end of the factorisation: an exchange then costs no
//    pass over the rows in the step that waits for the pivot column's norm.
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
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// waking the worker pool for: a few hundred microseconds of work, which is about what waking
// the sleeping workers can cost on a busy machine.
constexpr size_t parallel_work = size_t{1} << 18;
// Rows per chunk of an element-wise loop over a column.
constexpr size_t rows_per_chunk = size_t{1} << 15;

// The chunk of an element-wise loop over rows: everything on the caller when it is short.
size_t row_chunk(size_t rows) { return rows >= parallel_work ? rows_per_chunk : rows; }

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

// Whether every component seen is zero or one whose square enorm adds to its intermediate sum
// (its magnitude above rdwarf and below rgiant / length). A NaN is not, so that it goes to
// enorm as written, whose bits for it the plain sum need not have. The test is written for
// SSE2, on pairs of components: the compiler does not vectorise the scalar one, which then
// takes twice as long as the sum beside it.
class PlainComponents {
public:
    explicit PlainComponents(int length) : agiant_(rgiant / static_cast<double>(length)) {}
#if defined(__SSE2__)
    void add_pair(__m128d e)
    {
        const __m128d a = _mm_and_pd(e, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL)));
        const __m128d large = _mm_cmpnlt_pd(a, _mm_set1_pd(agiant_));
        const __m128d small =
            _mm_and_pd(_mm_cmple_pd(a, _mm_set1_pd(rdwarf)), _mm_cmpneq_pd(a, _mm_setzero_pd()));
        others_ = _mm_or_pd(others_, _mm_or_pd(large, small));
    }
    void add_pair(const double* e) { add_pair(_mm_loadu_pd(e)); }
    void add_pair(double e0, double e1) { add_pair(_mm_set_pd(e1, e0)); }
    void add(double e) { add_pair(_mm_set_sd(e)); }
    bool all_plain() const { return _mm_movemask_pd(others_) == 0; }
#else
    void add(double e)
    {
        const double a = std::fabs(e);
        plain_ = plain_ && a < agiant_ && (a > rdwarf || a == 0.);
    }
    void add_pair(const double* e) { add_pair(e[0], e[1]); }
    void add_pair(double e0, double e1)
    {
        add(e0);
        add(e1);
    }
    bool all_plain() const { return plain_; }
#endif

private:
    double agiant_;
#if defined(__SSE2__)
    __m128d others_ = _mm_setzero_pd();
#else
    bool plain_ = true;
#endif
};

// G tests of vectors of one length.
template <std::size_t... I>
std::array<PlainComponents, sizeof...(I)> plain_tests(int length, std::index_sequence<I...>)
{
    return {((void)I, PlainComponents(length))...};
}

// enorm of G vectors of one length at once: norms[g] = enorm(length, v[g]).
template <int G> void vector_norms(int length, const double* const* v, double* norms)
{
    double s[G];
    auto plain = plain_tests(length, std::make_index_sequence<G>());
    for (int g = 0; g < G; ++g)
        s[g] = 0.;
    int i = 0;
    for (; i + 1 < length; i += 2)
        for (int g = 0; g < G; ++g) {
            const double e0 = v[g][i];
            const double e1 = v[g][i + 1];
            s[g] += e0 * e0;
            s[g] += e1 * e1;
            plain[g].add_pair(v[g] + i);
        }
    for (; i < length; ++i)
        for (int g = 0; g < G; ++g) {
            const double e = v[g][i];
            s[g] += e * e;
            plain[g].add(e);
        }
    for (int g = 0; g < G; ++g)
        norms[g] = plain[g].all_plain() ? norm_from_sums(0., s[g], 0., 0., 0.)
                                        : literal_enorm(length, v[g]);
}

double vector_norm(int n, const double* x)
{
    double norm = 0.;
    vector_norms<1>(n, &x, &norm);
    return norm;
}

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

// ---- qrfac, with (Q^T) f formed alongside ----
//
// The factorisation of lmdif's call qrfac(m, n, fjac, ldfjac, TRUE, ipvt, n, wa1, wa2, wa3),
// which always pivots, together with lmdif's loop that then forms (Q^T) f in wa4 from fvec:
// step j of that loop applies column j as step j of qrfac leaves it, the Householder vector,
// so it is done in the same step as one more column (item n).
//
// Each column's update by step j is put off and done in the same pass as its dot product
// with the Householder vector of step j + 1 (the update of each element comes first, as it
// must, and each sum still runs in index order), so that a step passes over the remaining
// columns once rather than twice. What step j + 1 needs before that pass is known earlier:
// the norm downdate of step j reads only the first updated element of each column, which is
// worked out as the update works it out; the new pivot column gets its own update first, in
// the pass that takes its norm. A column whose norm qrfac recomputes gets its update at once.
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
    // Per column k, and at n for (Q^T) f: when pending[k], the multiple temps[k] of the last
    // step's Householder vector that its update has still to take off (to add, for f).
    double* temps = nullptr;
    unsigned char* pending = nullptr;
    // Where f's values are: fvec until its first update writes wa4.
    const double* f_values = nullptr;
    // Where column k is: in a's column slot[k]. qrfac's exchanges of columns exchange slots,
    // and the columns are moved to their places at the end, in one pass over the rows.
    int* slot = nullptr;
    // When set, receives enorm(m, fvec), taken beside the initial column norms.
    double* fnorm = nullptr;

    double* column(int k) const { return a + static_cast<size_t>(slot[k]) * lda; }
};

// Column k's pending update by the Householder vector v of step j - 1 (rows j - 1 on),
// qrfac's a(i, k) -= temp * a(i, j - 1).
void apply_column_update(const Factorisation& f, int j, int k)
{
    const double* __restrict v = f.column(j - 1);
    double* __restrict a = f.column(k);
    const double temp = f.temps[k];
    for (size_t i = static_cast<size_t>(j - 1); i < static_cast<size_t>(f.m); ++i)
        a[i] -= temp * v[i];
    f.pending[k] = 0;
}

// f's pending update by the Householder vector v of step j - 1, lmdif's
// wa4(i) += fjac(i, j - 1) * temp; on its first update the rows before come from fvec.
void apply_residual_update(const Factorisation& f, int j)
{
    const double* __restrict v = f.column(j - 1);
    const double* source = f.f_values;
    double* target = f.qtf_work;
    const double temp = f.temps[f.n];
    const auto first = static_cast<size_t>(j - 1);
    if (source != target)
        std::memcpy(target, source, first * sizeof(double));
    for (size_t i = first; i < static_cast<size_t>(f.m); ++i)
        target[i] = source[i] + v[i] * temp;
    f.pending[f.n] = 0;
}

// Step j's results for column k from its dot product with the Householder vector: the
// multiple of its update, and qrfac's downdate of its norm, with the recomputation when the
// downdate has cancelled too far.
void finish_column(const Factorisation& f, int j, int k, double sum)
{
    constexpr double p05 = .05;
    const double* v = f.column(j);
    double* a = f.column(k);
    const double temp = sum / v[j];
    f.temps[k] = temp;
    f.pending[k] = 1;
    double* rdiag = f.rdiag;
    if (rdiag[k] == 0.)
        return;
    const double updated = a[j] - temp * v[j]; // a(j, k) as the update leaves it
    const double ratio = updated / rdiag[k];
    double d1 = 1. - ratio * ratio;
    rdiag[k] *= std::sqrt(minpack_max(0., d1));
    d1 = rdiag[k] / f.wa[k];
    if (p05 * (d1 * d1) <= epsmch) {
        apply_column_update(f, j + 1, k);
        rdiag[k] = vector_norm(f.m - (j + 1), a + j + 1);
        f.wa[k] = rdiag[k];
    }
}

// Step j for G columns ks and, with Residual, (Q^T) f: each item's pending update by step
// j - 1 (with Pending) and its dot product with step j's Householder vector, in one pass.
template <int G, bool Residual, bool Pending>
void advance(const Factorisation& f, int j, const int* ks)
{
    constexpr int items = G + (Residual ? 1 : 0);
    const double* v = f.column(j);
    const double* previous = Pending ? f.column(j - 1) : nullptr;
    const double* source[items];
    double* target[items];
    double temp[items];
    double sum[items];
    for (int g = 0; g < G; ++g) {
        target[g] = f.column(ks[g]);
        source[g] = target[g];
        temp[g] = f.temps[ks[g]];
    }
    if constexpr (Residual) {
        source[G] = f.f_values;
        target[G] = f.qtf_work;
        temp[G] = f.temps[f.n];
        if (Pending && source[G] != target[G])
            std::memcpy(target[G], source[G], static_cast<size_t>(j - 1) * sizeof(double));
    }
    for (int g = 0; g < items; ++g)
        sum[g] = 0.;
    const auto first = static_cast<size_t>(j);
    const auto rows = static_cast<size_t>(f.m);
    if constexpr (Pending) {
        const size_t i = first - 1; // the row of step j - 1: its update only
        for (int g = 0; g < G; ++g)
            target[g][i] = source[g][i] - temp[g] * previous[i];
        if constexpr (Residual)
            target[G][i] = source[G][i] + previous[i] * temp[G];
    }
    for (size_t i = first; i < rows; ++i) {
        const double vi = v[i];
        for (int g = 0; g < G; ++g) {
            double w = source[g][i];
            if constexpr (Pending) {
                w = w - temp[g] * previous[i];
                target[g][i] = w;
            }
            sum[g] += vi * w;
        }
        if constexpr (Residual) {
            double w = source[G][i];
            if constexpr (Pending) {
                w = w + previous[i] * temp[G];
                target[G][i] = w;
            }
            sum[G] += vi * w;
        }
    }
    for (int g = 0; g < G; ++g)
        finish_column(f, j, ks[g], sum[g]);
    if constexpr (Residual) {
        f.temps[f.n] = -sum[G] / v[j];
        f.pending[f.n] = 1;
    }
}

template <bool Residual, bool Pending>
void advance_group(const Factorisation& f, int j, const int* ks, int count)
{
    switch (count) {
    case 4:
        advance<4, Residual, Pending>(f, j, ks);
        break;
    case 3:
        advance<3, Residual, Pending>(f, j, ks);
        break;
    case 2:
        advance<2, Residual, Pending>(f, j, ks);
        break;
    case 1:
        advance<1, Residual, Pending>(f, j, ks);
        break;
    default:
        if constexpr (Residual)
            advance<0, Residual, Pending>(f, j, ks);
        break;
    }
}

// Items first to last - 1 of step j when it transforms: item t < columns is column
// j + 1 + t, item columns is (Q^T) f. They go in groups of four of one kind (update pending
// or not), (Q^T) f with the last group of its kind.
void advance_items(const Factorisation& f, int j, int columns, size_t first, size_t last)
{
    int groups[2][4];
    int counts[2] = {0, 0};
    bool residual = false;
    for (size_t t = first; t < last; ++t) {
        if (t == static_cast<size_t>(columns)) {
            residual = true;
            continue;
        }
        const int k = j + 1 + static_cast<int>(t);
        const int kind = f.pending[k];
        groups[kind][counts[kind]++] = k;
        if (counts[kind] == 4) {
            if (kind == 1)
                advance_group<false, true>(f, j, groups[kind], 4);
            else
                advance_group<false, false>(f, j, groups[kind], 4);
            counts[kind] = 0;
        }
    }
    // Read only where (Q^T) f is an item: that chunk alone writes it.
    const int residual_kind = residual ? f.pending[f.n] : -1;
    for (const int kind : {0, 1}) {
        const bool with_residual = residual && kind == residual_kind;
        if (counts[kind] == 0 && !with_residual)
            continue;
        if (kind == 1)
            with_residual ? advance_group<true, true>(f, j, groups[kind], counts[kind])
                          : advance_group<false, true>(f, j, groups[kind], counts[kind]);
        else
            with_residual ? advance_group<true, false>(f, j, groups[kind], counts[kind])
                          : advance_group<false, false>(f, j, groups[kind], counts[kind]);
    }
}

// The chunk of items for a loop over count items of rows each: whole groups of four when
// there are many, single items when there are few, everything on the caller when neither an
// item nor the work the other threads would take off it pays for waking them (for a fit
// of 25k vertices, 7 parameters, every step of the factorisation is such).
size_t items_per_chunk(size_t count, size_t rows)
{
    if (count < 2 || (rows < parallel_work && (count - 1) * rows < 4 * parallel_work))
        return count;
    return count >= 8 * static_cast<size_t>(worker_thread_count()) ? 4 : 1;
}

// The initial column norms, and with f.fnorm the norm of fvec, one vector per thread at a time
// or four when there are many.
void initial_norms(const Factorisation& f)
{
    const size_t items = static_cast<size_t>(f.n) + (f.fnorm != nullptr ? 1 : 0);
    const auto vector = [&](size_t item) {
        return item < static_cast<size_t>(f.n) ? f.column(static_cast<int>(item)) : f.fvec;
    };
    parallel_for(
        items, items_per_chunk(items, static_cast<size_t>(f.m)), [&](size_t begin, size_t end) {
            for (size_t first = begin; first < end; first += 4) {
                const double* v[4];
                double norms[4];
                const size_t group = std::min<size_t>(4, end - first);
                for (size_t g = 0; g < group; ++g)
                    v[g] = vector(first + g);
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
                for (size_t g = 0; g < group; ++g)
                    *(first + g < static_cast<size_t>(f.n) ? f.acnorm + first + g : f.fnorm) =
                        norms[g];
            }
        });
    for (int j = 0; j < f.n; ++j) {
        f.rdiag[j] = f.acnorm[j];
        f.wa[j] = f.rdiag[j];
        f.ipvt[j] = j + 1;
    }
}

// The new column j's pending update by step j - 1 in one pass with the norm of its rows j on,
// which the pass returns.
template <bool Pending> double update_and_norm(const Factorisation& f, int j)
{
    double* __restrict a = f.column(j);
    const double* __restrict v = Pending ? f.column(j - 1) : nullptr;
    const double temp = f.temps[j];
    const auto rows = static_cast<size_t>(f.m);
    const auto first = static_cast<size_t>(j);
    const auto update = [&](size_t i) {
        double e = a[i];
        if constexpr (Pending) {
            e = e - temp * v[i];
            a[i] = e;
        }
        return e;
    };
    if constexpr (Pending)
        update(first - 1);
    const int length = f.m - j;
    PlainComponents plain(length);
    double s = 0.;
    size_t i = first;
    for (; i + 1 < rows; i += 2) {
        const double e0 = update(i);
        const double e1 = update(i + 1);
        s += e0 * e0;
        s += e1 * e1;
        plain.add_pair(e0, e1);
    }
    for (; i < rows; ++i) {
        const double e = update(i);
        s += e * e;
        plain.add(e);
    }
    f.pending[j] = 0;
    return plain.all_plain() ? norm_from_sums(0., s, 0., 0., 0.) : literal_enorm(length, a + j);
}

// Moves every column from its slot to its own place, each row range on one thread.
void place_columns(const Factorisation& f)
{
    // The cycles of the exchanges: place cycle[t] takes the column in slot cycle[t + 1]
    // (slot[cycle[t]]), and the last place the column held from the first.
    std::vector<std::vector<int>> cycles;
    std::vector<unsigned char> placed(static_cast<size_t>(f.n), 0);
    for (int k = 0; k < f.n; ++k) {
        if (placed[static_cast<size_t>(k)] || f.slot[k] == k)
            continue;
        std::vector<int> cycle;
        for (int c = k; !placed[static_cast<size_t>(c)]; c = f.slot[c]) {
            placed[static_cast<size_t>(c)] = 1;
            cycle.push_back(c);
        }
        cycles.push_back(std::move(cycle));
    }
    if (cycles.empty())
        return;
    constexpr size_t block = 512;
    const auto rows = static_cast<size_t>(f.m);
    parallel_for(rows, row_chunk(rows), [&](size_t begin, size_t end) {
        double held[block];
        for (size_t b = begin; b < end; b += block) {
            const size_t count = std::min(block, end - b) * sizeof(double);
            for (const std::vector<int>& cycle : cycles) {
                double* first = f.a + static_cast<size_t>(cycle.front()) * f.lda + b;
                std::memcpy(held, first, count);
                for (size_t t = 0; t + 1 < cycle.size(); ++t)
                    std::memcpy(f.a + static_cast<size_t>(cycle[t]) * f.lda + b,
                                f.a + static_cast<size_t>(cycle[t + 1]) * f.lda + b, count);
                std::memcpy(f.a + static_cast<size_t>(cycle.back()) * f.lda + b, held, count);
            }
        }
    });
    for (int k = 0; k < f.n; ++k)
        f.slot[k] = k;
}

void factorise(Factorisation& f)
{
    // compute the initial column norms and initialize several arrays.
    for (int k = 0; k < f.n; ++k)
        f.slot[k] = k;
    initial_norms(f);
    std::fill(f.pending, f.pending + f.n + 1, 0);
    f.f_values = f.fvec;

    // reduce a to r with householder transformations (m >= n: lmdif checked).
    for (int j = 0; j < f.n; ++j) {
        // bring the column of largest norm into the pivot position.
        int kmax = j;
        for (int k = j; k < f.n; ++k)
            if (f.rdiag[k] > f.rdiag[kmax])
                kmax = k;
        // The pivot's norm at the first step is its initial norm, the same enorm of the same
        // vector, which that pass has taken already.
        const double initial_norm = f.rdiag[kmax];
        if (kmax != j) {
            std::swap(f.slot[j], f.slot[kmax]);
            std::swap(f.temps[j], f.temps[kmax]);
            std::swap(f.pending[j], f.pending[kmax]);
            f.rdiag[kmax] = f.rdiag[j];
            f.wa[kmax] = f.wa[j];
            std::swap(f.ipvt[j], f.ipvt[kmax]);
        }

        // compute the householder transformation to reduce the j-th column of a to a
        // multiple of the j-th unit vector.
        double* v = f.column(j) + j;
        const auto rows = static_cast<size_t>(f.m - j);
        double ajnorm = j == 0         ? initial_norm
                        : f.pending[j] ? update_and_norm<true>(f, j)
                                       : update_and_norm<false>(f, j);
        const bool residual_pending = f.pending[f.n] != 0;
        if (ajnorm != 0.) {
            if (v[0] < 0.)
                ajnorm = -ajnorm;
            parallel_for(rows, row_chunk(rows), [&](size_t begin, size_t end) {
                for (size_t i = begin; i < end; ++i)
                    v[i] /= ajnorm;
            });
            v[0] += 1.;
            // apply the transformation to the remaining columns and update the norms; and
            // the step of (Q^T) f, whose test fjac(j, j) != 0 holds here (v[0] >= 1).
            const int columns = f.n - (j + 1);
            const size_t items = static_cast<size_t>(columns) + 1;
            parallel_for(items, items_per_chunk(items, rows), [&](size_t begin, size_t end) {
                advance_items(f, j, columns, begin, end);
            });
        } else {
            // No transformation: the columns take their pending updates alone, and column j
            // is zero from row j on, so that the step of (Q^T) f does nothing either.
            for (int k = j + 1; k < f.n; ++k)
                if (f.pending[k])
                    apply_column_update(f, j, k);
            if (residual_pending)
                apply_residual_update(f, j);
        }
        if (residual_pending)
            f.f_values = f.qtf_work;
        f.rdiag[j] = -ajnorm;
    }
    if (f.pending[f.n]) {
        apply_residual_update(f, f.n);
        f.f_values = f.qtf_work;
    }
    if (f.f_values != f.qtf_work)
        std::memcpy(f.qtf_work, f.fvec, static_cast<size_t>(f.m) * sizeof(double));
    place_columns(f);
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
    std::vector<double> factorisation_temps;
    std::vector<unsigned char> factorisation_pending;
    std::vector<int> factorisation_slots;
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

    factorisation_temps.resize(static_cast<size_t>(n) + 1);
    factorisation_pending.resize(static_cast<size_t>(n) + 1);
    factorisation_slots.resize(static_cast<size_t>(n));

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
            Factorisation f;
            f.temps = factorisation_temps.data();
            f.pending = factorisation_pending.data();
            f.slot = factorisation_slots.data();
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
            f.fnorm = fnorm_later ? &fnorm : nullptr;
            factorise(f);
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
