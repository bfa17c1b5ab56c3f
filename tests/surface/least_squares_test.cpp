#include "surface/least_squares.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Residuals of a straight-line fit y = a + b t through the context's points.
struct LineData {
    std::vector<double> t, y;
    int calls = 0;
};

int line_residuals(void* context, int m, int, const double* x, double* fvec, int)
{
    auto& data = *static_cast<LineData*>(context);
    ++data.calls;
    for (int i = 0; i < m; ++i)
        fvec[i] = x[0] + x[1] * data.t[static_cast<std::size_t>(i)] -
                  data.y[static_cast<std::size_t>(i)];
    return 0;
}

int zero_residuals(void* context, int m, int, const double*, double* fvec, int)
{
    ++static_cast<LineData*>(context)->calls;
    for (int i = 0; i < m; ++i)
        fvec[i] = 0.0;
    return 0;
}

LineData line(int points)
{
    LineData data;
    for (int i = 0; i < points; ++i) {
        data.t.push_back(i);
        data.y.push_back(3.0 - 0.5 * i);
    }
    return data;
}

// A line with some scatter, so that a fit takes several steps.
LineData scattered_line(int points, double slope)
{
    LineData data;
    for (int i = 0; i < points; ++i) {
        data.t.push_back(0.1 * i);
        data.y.push_back(1.0 + slope * 0.1 * i + 0.3 * std::sin(1.7 * i));
    }
    return data;
}

struct Fit {
    std::vector<double> x;
    std::int64_t info = -1;
    int calls = 0;
};

Fit fit_line(LineData data, ResidualFunction residuals = line_residuals)
{
    Fit fit;
    fit.x = {0.0, 0.0};
    std::vector<double> fvec(data.t.size());
    run_lmdif(residuals, &data, static_cast<std::int64_t>(data.t.size()), 2, fit.x.data(),
              fvec.data(), 1e-12, fit.info);
    fit.calls = data.calls;
    return fit;
}

// Line residuals that first run a fit of their own, as no residual function of the program
// does, to show that the inner fit does not work in the outer one's space.
int residuals_fitting_inside(void* context, int m, int n, const double* x, double* fvec,
                             int iflag)
{
    fit_line(scattered_line(40, 2.0));
    return line_residuals(context, m, n, x, fvec, iflag);
}

} // namespace

// The solver's work space outlives a fit; what a fit finds never depends on the fits before it.
TEST(RunLmdif, EveryFitGivesTheSameBitsWhateverRanBefore)
{
    const LineData fitted = scattered_line(25, -0.75);
    Fit alone;
    std::thread([&] { alone = fit_line(fitted); }).join();
    ASSERT_GE(alone.info, 1);
    Fit after_others, nested;
    std::thread([&] {
        fit_line(scattered_line(3000, 4.0)); // a larger space, left full of its values
        fit_line(scattered_line(7, 0.5));
        after_others = fit_line(fitted);
        nested = fit_line(fitted, residuals_fitting_inside);
    }).join();
    for (const Fit* fit : {&after_others, &nested}) {
        EXPECT_EQ(fit->info, alone.info);
        EXPECT_EQ(fit->calls, alone.calls);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(std::memcmp(&fit->x[i], &alone.x[i], sizeof(double)), 0) << i;
    }
}

TEST(RunLmdif, FitsThroughTheContextItIsGiven)
{
    // m = n is accepted; a tolerance of 0 runs to machine precision.
    for (const int points : {2, 5}) {
        for (const double tol : {1e-10, 0.0}) {
            LineData data = line(points);
            std::vector<double> x = {0.0, 0.0}, fvec(static_cast<std::size_t>(points));
            std::int64_t info = -1;
            run_lmdif(line_residuals, &data, points, 2, x.data(), fvec.data(), tol, info);
            EXPECT_GE(info, 1) << points << " points, tol " << tol;
            EXPECT_LE(info, 7);
            EXPECT_NEAR(x[0], 3.0, 1e-9);
            EXPECT_NEAR(x[1], -0.5, 1e-9);
            EXPECT_GT(data.calls, 0);
        }
    }
}

TEST(RunLmdif, ImproperInputLeavesXAndCallsNothing)
{
    struct Case {
        std::int64_t m, n;
        double tol;
    };
    const Case cases[] = {
        {1, 2, 0.1},   // fewer residuals than parameters
        {3, 0, 0.1},   // no parameters
        {3, 2, -0.1},  // negative tolerance
        {3, 2, NAN},   // no tolerance at all
        {std::int64_t{1} << 32, 2, 0.1}, // beyond the solver's int
    };
    for (const Case& c : cases) {
        LineData data = line(3);
        std::vector<double> x = {7.0, 8.0}, fvec(3);
        std::int64_t info = -1;
        run_lmdif(line_residuals, &data, c.m, c.n, x.data(), fvec.data(), c.tol, info);
        EXPECT_EQ(info, 0) << "m " << c.m << " n " << c.n << " tol " << c.tol;
        EXPECT_EQ(x[0], 7.0);
        EXPECT_EQ(x[1], 8.0);
        EXPECT_EQ(data.calls, 0);
    }
}

TEST(RunLmdif, ZeroResidualsAtTheStartKeepX)
{
    // Also a parameter that is zero but for rounding: it is not rounded to zero.
    for (const double second : {-2.5, 3e-7}) {
        LineData data = line(4);
        std::vector<double> x = {1.5, second}, fvec(4);
        std::int64_t info = -1;
        run_lmdif(zero_residuals, &data, 4, 2, x.data(), fvec.data(), 0.1, info);
        EXPECT_NE(info, 0);
        EXPECT_EQ(x[0], 1.5);
        EXPECT_EQ(x[1], second);
        EXPECT_LE(data.calls, 4); // the start and one difference per parameter, then done
    }
}

namespace {

// Points about 500 mm from the origin (where a scanner may place a bone) moved by x[0] along
// one axis and scaled about their centre by x[1], against the same points moved by 0.5 mm and
// scaled by 1.01: the residuals of a translation and a scale, as a registration fit has them.
int far_point_residuals(void*, int m, int, const double* x, double* fvec, int)
{
    for (int i = 0; i < m; ++i) {
        const double offset = 0.37 * i - 7.0;
        fvec[i] = (500.0 + x[1] * offset + x[0]) - (500.0 + 1.01 * offset + 0.5);
    }
    return 0;
}

} // namespace

// lmdif's difference step is proportional to a parameter's size; a parameter that is zero but
// for rounding must still be fitted, however far from the origin the residuals are computed.
TEST(RunLmdif, AParameterNearZeroIsFittedLikeOneAtZero)
{
    for (const double start : {0.0, 1e-7, -3e-7, 5e-6, -9e-6, 2e-5}) {
        std::vector<double> x = {start, 1.0}, fvec(40);
        std::int64_t info = -1;
        run_lmdif(far_point_residuals, nullptr, 40, 2, x.data(), fvec.data(), 1e-10, info);
        EXPECT_GE(info, 1) << start;
        EXPECT_NEAR(x[0], 0.5, 1e-6) << start;
        EXPECT_NEAR(x[1], 1.01, 1e-8) << start;
    }
}
