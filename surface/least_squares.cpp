#include "surface/least_squares.h"

#include "surface/lmdif_transcription.h"
#include "surface/unfilled_vector.h"

#include <algorithm>
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

    int nfev = 0;
    const int code =
        transcribed_lmdif(fcn, context, static_cast<int>(m), static_cast<int>(n), x, fvec, tol, tol,
                          gtol, maxfev, epsfcn, diag, mode, factor, nprint, &nfev, fjac,
                          static_cast<int>(m), space.pivots.data(), qtf, wa1, wa2, wa3, wa4);
    info = code == 8 ? 4 : code;
}
