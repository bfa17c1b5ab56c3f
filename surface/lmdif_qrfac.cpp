// qrfac as cminpack 1.3.6 writes it (qrfac.c), in lmdif's call qrfac(m, n, fjac, ldfjac, TRUE,
// ipvt, n, wa1, wa2, wa3), which always pivots, together with lmdif's loop that then forms
// (Q^T) f in wa4 from fvec: the same operations in the same order, so the library's bits, for
// the lmdif transcription (lmdif_transcription.cpp). Step j of lmdif's loop applies column j
// as step j of qrfac leaves it, the Householder vector, so it is done in the same step as one
// more column (item n).
//
// The passes over the rows, which with a Jacobian larger than the caches are what a step
// costs:
//  - Each column's update by step j is put off and done in the same pass as its dot product
//    with the Householder vector of step j + 1 (the update of each element comes first, as it
//    must, and each sum still runs in index order), so that a step passes over the remaining
//    columns once rather than twice. What step j + 1 needs before that pass is known earlier:
//    the norm downdate of step j reads only the first updated element of each column, which
//    is worked out as the update works it out; the new pivot column gets its own update first,
//    in the pass that takes its norm. A column whose norm qrfac recomputes gets its update at
//    once.
//  - Columns are exchanged for pivoting by where they are kept rather than by moving them,
//    and every column is moved to its place once at the end: an exchange then costs nothing
//    in the step that waits for the pivot column's norm.
//  - The first step's pivot norm is that column's initial norm, enorm of the same vector,
//    which qrfac computes twice and this once.
//  - The norm of the starting residuals, which lmdif takes before the Jacobian and first reads
//    after the factorisation, is taken in the pass of the initial column norms.
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
// (qrfac, lmdif: Argonne National Laboratory, MINPACK project, March 1980,
// Burton S. Garbow, Kenneth E. Hillstrom, Jorge J. More; C by Frederic Devernay.)
#include "surface/lmdif_qrfac.h"

#include "surface/lmdif_arithmetic.h"
#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace transcribed_minpack {

using std::size_t;

namespace {

// The arrays, and per column the state of the factorisation.
struct Factorisation : FactorisationArrays {
    // Per column k, and at n for (Q^T) f: when pending[k], the multiple temps[k] of the last
    // step's Householder vector that its update has still to take off (to add, for f).
    double* temps = nullptr;
    unsigned char* pending = nullptr;
    // Where f's values are: fvec until its first update writes qtf.
    const double* f_values = nullptr;
    // Where column k is: in a's column slot[k]. qrfac's exchanges of columns exchange slots,
    // and the columns are moved to their places at the end, in one pass over the rows.
    int* slot = nullptr;

    double* column(int k) const { return a + static_cast<size_t>(slot[k]) * lda; }
};

// Element operations (a row of a column's dot product or update) from which a loop is worth
// waking the worker pool for: a few hundred microseconds of work, which is about what waking
// the sleeping workers can cost on a busy machine.
constexpr size_t parallel_work = size_t{1} << 18;
// Rows per chunk of an element-wise loop over a column.
constexpr size_t rows_per_chunk = size_t{1} << 15;

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
// Element-wise, so over the threads when there are many rows: it runs alone, after the last
// step.
void apply_residual_update(const Factorisation& f, int j)
{
    const double* __restrict v = f.column(j - 1);
    const double* source = f.f_values;
    double* target = f.qtf;
    const double temp = f.temps[f.n];
    const auto first = static_cast<size_t>(j - 1);
    if (source != target)
        std::memcpy(target, source, first * sizeof(double));
    const auto rows = static_cast<size_t>(f.m) - first;
    parallel_for(rows, row_chunk(rows), [&](size_t begin, size_t end) {
        for (size_t i = first + begin; i < first + end; ++i)
            target[i] = source[i] + v[i] * temp;
    });
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
        target[G] = f.qtf;
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

} // namespace

void factorise(const FactorisationArrays& arrays, FactorisationWork& work)
{
    const auto n = static_cast<size_t>(arrays.n);
    work.temps.resize(n + 1);
    work.pending.resize(n + 1);
    work.slots.resize(n);
    Factorisation f;
    static_cast<FactorisationArrays&>(f) = arrays;
    f.temps = work.temps.data();
    f.pending = work.pending.data();
    f.slot = work.slots.data();

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
            f.f_values = f.qtf;
        f.rdiag[j] = -ajnorm;
    }
    if (f.pending[f.n]) {
        apply_residual_update(f, f.n);
        f.f_values = f.qtf;
    }
    if (f.f_values != f.qtf)
        std::memcpy(f.qtf, f.fvec, static_cast<size_t>(f.m) * sizeof(double));
    place_columns(f);
}

size_t row_chunk(size_t rows) { return rows >= parallel_work ? rows_per_chunk : rows; }

} // namespace transcribed_minpack
