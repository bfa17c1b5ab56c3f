#include "surface/least_squares.h"

#include "surface/lmdif_transcription.h"
#include "surface/unfilled_vector.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <limits>
#include <new>
#include <vector>

namespace {

struct WorkSpace {
    UnfilledVector<int> pivots;
    UnfilledVector<double> work;
};

// Marks the thread's kept work space as taken for the life of a fit.
class KeptInUse {
public:
    explicit KeptInUse(bool* flag) : flag_(flag)
    {
        if (flag_ != nullptr)
            *flag_ = true;
    }
    ~KeptInUse()
    {
        if (flag_ != nullptr)
            *flag_ = false;
    }
    KeptInUse(const KeptInUse&) = delete;
    KeptInUse& operator=(const KeptInUse&) = delete;

private:
    bool* flag_;
};

// lmdif's forward difference steps a parameter by sqrt(machine precision) = 1.5e-8 times its
// size, and by 1.5e-8 itself only at exactly zero. A parameter that is zero but for rounding (a
// translation read back from the six decimals of a registration file where the pose held an
// exact zero, a fitted value that came within rounding of zero) gets a step of 1e-14 and less,
// which residuals computed from coordinates of tens to hundreds of millimetres cannot resolve:
// its Jacobian column is rounding noise and the parameter stays where it is, fit after fit.
// Such a parameter is fitted as an increment from its start: lmdif sees it at exactly zero and
// steps it as it steps a zero. From 1e-5 up the step (1.5e-13 and more) stays above the rounding
// of coordinates up to about a metre; every fit whose parameters are all zero or at least that
// large runs exactly as lmdif alone runs it.
constexpr double smallest_parameter_stepped_by_size = 1e-5;

bool is_fitted_as_increment(double value)
{
    return value != 0.0 && std::fabs(value) < smallest_parameter_stepped_by_size;
}

// The residual function of a fit whose parameters are increments from offsets (0 where a
// parameter is fitted as itself).
struct IncrementFit {
    ResidualFunction fcn;
    void* context;
    std::vector<double> offsets;
    std::vector<double> point;
};

int residuals_of_increments(void* fit_pointer, int m, int n, const double* x, double* fvec,
                            int iflag)
{
    IncrementFit& fit = *static_cast<IncrementFit*>(fit_pointer);
    for (std::size_t j = 0; j < fit.offsets.size(); ++j)
        fit.point[j] = fit.offsets[j] == 0.0 ? x[j] : fit.offsets[j] + x[j];
    return fit.fcn(fit.context, m, n, fit.point.data(), fvec, iflag);
}

} // namespace

void run_lmdif(ResidualFunction fcn, void* context, std::int64_t m, std::int64_t n, double* x,
               double* fvec, double tol, std::int64_t& info)
{
    info = 0;
    if (n <= 0 || m < n || !(tol >= 0.0))
        return;
    // The solver counts in int; its work array needs m + 5n + mn doubles.
    constexpr std::int64_t int_max = std::numeric_limits<int>::max();
    if (m > int_max || 200 * (n + 1) > int_max)
        return;
    const auto rows = static_cast<std::size_t>(m);
    const auto columns = static_cast<std::size_t>(n);
    if (columns > (std::numeric_limits<std::size_t>::max() / sizeof(double) - rows) / (rows + 5))
        return;

    const int maxfev = static_cast<int>(200 * (n + 1));
    constexpr double gtol = 0.0;
    constexpr double epsfcn = 0.0;
    constexpr int mode = 1;
    constexpr double factor = 100.0;
    constexpr int nprint = 0;

    // The work space stays with the thread from fit to fit: a fit of a large surface needs
    // m (n + 1) + 5 n doubles, beyond what the allocator keeps mapped between calls, and mapping
    // it anew for every iteration cost more than the fit itself. A fit started from within a
    // residual function gets space of its own.
    thread_local WorkSpace kept;
    thread_local bool kept_in_use = false;
    WorkSpace own;
    WorkSpace& space = kept_in_use ? own : kept;
    const KeptInUse in_use(&space == &kept ? &kept_in_use : nullptr);
    try {
        if (space.pivots.size() < columns)
            space.pivots.resize(columns);
    } catch (const std::bad_alloc&) {
        std::cerr << "Cannot malloc integer work array for lmdif routine.\n";
        return;
    }
    const std::size_t vectors = rows + 5 * columns;
    try {
        if (space.work.size() < vectors + rows * columns)
            space.work.resize(vectors + rows * columns);
    } catch (const std::bad_alloc&) {
        std::cerr << "Cannot malloc doublereal work array for lmdif routine.\n";
        return;
    }
    // Nothing is cleared between fits: lmdif writes every entry of its work arrays before it
    // reads it (the scaling in its first iteration, the rest in every one), and the residual
    // functions write all m residuals.
    UnfilledVector<double>& work = space.work;
    double* diag = work.data();
    double* qtf = diag + columns;
    double* wa1 = qtf + columns;
    double* wa2 = wa1 + columns;
    double* wa3 = wa2 + columns;
    double* wa4 = wa3 + columns;
    double* fjac = wa4 + rows;

    IncrementFit increments{fcn, context, {}, {}};
    if (std::any_of(x, x + n, is_fitted_as_increment)) {
        increments.offsets.assign(columns, 0.0);
        increments.point.assign(x, x + n);
        for (std::size_t j = 0; j < columns; ++j)
            if (is_fitted_as_increment(x[j])) {
                increments.offsets[j] = x[j];
                x[j] = 0.0;
            }
        fcn = residuals_of_increments;
        context = &increments;
    }

    int nfev = 0;
    const int code =
        transcribed_lmdif(fcn, context, static_cast<int>(m), static_cast<int>(n), x, fvec, tol, tol,
                          gtol, maxfev, epsfcn, diag, mode, factor, nprint, &nfev, fjac,
                          static_cast<int>(m), space.pivots.data(), qtf, wa1, wa2, wa3, wa4);
    info = code == 8 ? 4 : code;
    for (std::size_t j = 0; j < increments.offsets.size(); ++j)
        if (increments.offsets[j] != 0.0)
            x[j] += increments.offsets[j];
}
