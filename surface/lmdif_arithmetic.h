// The arithmetic that the parts of the lmdif transcription share (lmdif_transcription.cpp):
// MINPACK's comparisons and machine precision, and enorm, the Euclidean norm that guards
// against overflow and underflow, with the library's bits.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace transcribed_minpack {

// MINPACK's min and max, which take the second operand when the comparison fails.
inline double minpack_min(double a, double b) { return a <= b ? a : b; }
inline double minpack_max(double a, double b) { return a >= b ? a : b; }

constexpr double epsmch = std::numeric_limits<double>::epsilon(); // dpmpar(1)
// enorm's bounds of the intermediate components in double precision.
constexpr double rdwarf = 1.82691291192569e-153;
constexpr double rgiant = 1.34078079299426e+153;

// enorm's last step, from its three sums and its largest large and small magnitudes.
double norm_from_sums(double s1, double s2, double s3, double x1max, double x3max);

// enorm(n, x) as written.
double literal_enorm(int n, const double* x);

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

// enorm of G (1 to 4) vectors of one length at once: norms[g] = enorm(length, v[g]).
template <int G> void vector_norms(int length, const double* const* v, double* norms);

// enorm(n, x).
double vector_norm(int n, const double* x);

} // namespace transcribed_minpack
