#include "surface/least_squares.h"

#include <cminpack.h>

#include <iostream>
#include <limits>
#include <new>
#include <vector>

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

    std::vector<int> pivots;
    try {
        pivots.resize(columns);
    } catch (const std::bad_alloc&) {
        std::cerr << "Cannot malloc integer work array for lmdif routine.\n";
        return;
    }
    std::vector<double> work;
    try {
        work.resize(rows + 5 * columns + rows * columns);
    } catch (const std::bad_alloc&) {
        std::cerr << "Cannot malloc doublereal work array for lmdif routine.\n";
        return;
    }
    double* diag = work.data();
    double* qtf = diag + columns;
    double* wa1 = qtf + columns;
    double* wa2 = wa1 + columns;
    double* wa3 = wa2 + columns;
    double* wa4 = wa3 + columns;
    double* fjac = wa4 + rows;

    int nfev = 0;
    const int code = lmdif(fcn, context, static_cast<int>(m), static_cast<int>(n), x, fvec, tol,
                           tol, gtol, maxfev, epsfcn, diag, mode, factor, nprint, &nfev, fjac,
                           static_cast<int>(m), pivots.data(), qtf, wa1, wa2, wa3, wa4);
    info = code == 8 ? 4 : code;
}
