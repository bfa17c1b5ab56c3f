// enorm as cminpack 1.3.6 writes it (enorm.c), for the lmdif transcription
// (lmdif_transcription.cpp), with the library's bits and faster.
//
// enorm adds the squares of its intermediate components (above rdwarf and below rgiant / n)
// in index order and keeps two scaled sums for the others. When every component is
// intermediate or zero (a zero changes no sum), the plain sum of squares in index order is
// enorm's own; a vector with any other component goes to enorm as written. The plain sums of
// several vectors run in one pass, each in its own order.
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
// (enorm: Argonne National Laboratory, MINPACK project, March 1980,
// Burton S. Garbow, Kenneth E. Hillstrom, Jorge J. More; C by Frederic Devernay.)
#include "surface/lmdif_arithmetic.h"

#include <array>
#include <utility>

namespace transcribed_minpack {

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

namespace {

// G tests of vectors of one length.
template <std::size_t... I>
std::array<PlainComponents, sizeof...(I)> plain_tests(int length, std::index_sequence<I...>)
{
    return {((void)I, PlainComponents(length))...};
}

} // namespace

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

template void vector_norms<1>(int, const double* const*, double*);
template void vector_norms<2>(int, const double* const*, double*);
template void vector_norms<3>(int, const double* const*, double*);
template void vector_norms<4>(int, const double* const*, double*);

} // namespace transcribed_minpack
