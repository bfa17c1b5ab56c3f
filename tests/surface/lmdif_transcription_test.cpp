// The transcribed lmdif against the library's own, on fits like the program's (a pose of 7,
// 9 or 12 parameters, a lattice of 192 control values) and on the cases that take the rare
// branches of the solver: every result, every work array and every count must have the
// library's bits, on one thread and on eight.
#include "surface/lmdif_transcription.h"

#include "tests/fixtures/fit_problems.h"
#include "tests/fixtures/thread_count.h"

#include <gtest/gtest.h>

#include <cminpack.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

template <typename T> bool same_bits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

void expect_same(const FitOutcome& library, const FitOutcome& ours, const std::string& what)
{
    EXPECT_EQ(ours.info, library.info) << what;
    EXPECT_EQ(ours.nfev, library.nfev) << what;
    EXPECT_TRUE(same_bits(ours.x, library.x)) << what << ": x";
    EXPECT_TRUE(same_bits(ours.fvec, library.fvec)) << what << ": fvec";
    EXPECT_TRUE(same_bits(ours.fjac, library.fjac)) << what << ": fjac";
    EXPECT_TRUE(same_bits(ours.ipvt, library.ipvt)) << what << ": ipvt";
    EXPECT_TRUE(same_bits(ours.diag, library.diag)) << what << ": diag";
    EXPECT_TRUE(same_bits(ours.qtf, library.qtf)) << what << ": qtf";
    for (const auto& [a, b, name] :
         {std::tuple{&ours.wa1, &library.wa1, "wa1"}, std::tuple{&ours.wa2, &library.wa2, "wa2"},
          std::tuple{&ours.wa3, &library.wa3, "wa3"}, std::tuple{&ours.wa4, &library.wa4, "wa4"}})
        EXPECT_TRUE(same_bits(*a, *b)) << what << ": " << name;
}

// Runs the library once and the transcription on one thread and on eight; returns the
// library's outcome.
FitOutcome expect_library_bits(const std::string& name, const FitProblem& problem,
                               const std::vector<double>& start, const FitSettings& settings = {})
{
    FitOutcome library = solve_fit(lmdif, problem, start, settings);
    for (const int threads : {1, 8}) {
        const ThreadCount count(threads);
        expect_same(library, solve_fit(transcribed_lmdif, problem, start, settings),
                    name + " on " + std::to_string(threads) + " threads");
    }
    return library;
}

TEST(TranscribedLmdif, PoseFitsHaveTheLibrarysBits)
{
    struct Case {
        const char* name;
        int m;
        const std::vector<double>* truth;
        double start_offset;
        double noise;
        double tol;
    };
    const Case cases[] = {
        // m = 10: the last point gives one residual of its three.
        {"similarity, 10 residuals, near", 10, &similarity_truth, 0.1, 0.01, 0.1},
        {"similarity, 3000 residuals, far, to machine precision", 3000, &similarity_truth, 8.0,
         0.01, 0.0},
        {"aspect, 30000 residuals, near", 30000, &aspect_truth, 0.2, 0.05, 0.1},
        {"aspect, 30000 residuals, far", 30000, &aspect_truth, 6.0, 0.05, 1e-8},
        {"affine, 300000 residuals, far", 300000, &affine_truth, 3.0, 0.02, 0.1},
        {"similarity, 2 million residuals, far", 2'000'000, &similarity_truth, 5.0, 0.02, 0.1},
        // The targets are the points under the start pose: all residuals are 0 from the start.
        {"similarity, zero residuals", 3000, &similarity_truth, 0.0, 0.0, 0.1},
        {"affine, zero residuals after one step", 3000, &affine_truth, 2.0, 0.0, 1e-12},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.truth->size());
        const FitOutcome library =
            expect_library_bits(c.name, pose_problem(c.m, *c.truth, c.noise),
                                moved_from(*c.truth, c.start_offset), {c.tol});
        EXPECT_GE(library.info, 1) << c.name;
        EXPECT_GT(library.nfev, n) << c.name;
    }
}

TEST(TranscribedLmdif, LatticeFitsHaveTheLibrarysBits)
{
    // 192 parameters: large enough that the factorisation's steps spread over the threads.
    for (const auto& [points, offset] : {std::pair{700, 0.2}, std::pair{2000, 4.0}}) {
        std::vector<double> start;
        const FitProblem problem = lattice_problem(points, start, offset);
        expect_library_bits("lattice of " + std::to_string(points) + " points, start off by " +
                                std::to_string(offset),
                            problem, start);
    }
}

TEST(TranscribedLmdif, TheRareBranchesHaveTheLibrarysBits)
{
    // All zeros whatever x: a zero Jacobian, no column to pivot, the gradient test ends it.
    for (const int n : {7, 192}) {
        FitProblem zeros;
        zeros.m = 1000;
        zeros.n = n;
        zeros.residuals = [](const double*, double* fvec) { std::fill(fvec, fvec + 1000, 0.0); };
        expect_library_bits("all zeros, n = " + std::to_string(n), zeros,
                            std::vector<double>(static_cast<std::size_t>(n), 0.5));
    }

    // Two parameters that nearly do the same, a tiny one and one that does nothing: the
    // downdate of the second one's norm cancels, and the factorisation recomputes it, which
    // decides whether it is pivoted before the zero column.
    FitProblem collinear;
    collinear.m = 500;
    collinear.n = 5;
    collinear.residuals = [](const double* x, double* fvec) {
        for (int i = 0; i < 500; ++i) {
            const double t = 0.01 * i;
            fvec[i] = x[0] * t + x[1] * (t + 1e-9 * std::cos(t)) + x[2] * 1e-8 * std::sin(5 * t) +
                      x[3] - std::sin(3.0 * t);
        }
    };
    expect_library_bits("nearly collinear parameters", collinear, {1.0, 2.0, 0.5, 3.0, 1.0},
                        {1e-12});

    // Residuals far below and far above the range whose squares enorm adds plainly.
    for (const double scale : {1e-160, 1e150}) {
        FitProblem scaled = pose_problem(300, similarity_truth, 0.01);
        scaled.residuals = [inner = scaled.residuals, scale](const double* x, double* fvec) {
            inner(x, fvec);
            for (int i = 0; i < 300; ++i)
                fvec[i] *= scale;
        };
        expect_library_bits(scale < 1.0 ? "tiny residuals" : "huge residuals", scaled,
                            moved_from(similarity_truth, 2.0));
    }

    // One residual far above the range (at an odd place, and last of an odd count), and one
    // NaN: the range test that sends a norm to enorm as written must see every component,
    // whatever its place in the pairs it takes.
    struct OneOff {
        const char* name;
        int index;
        double factor;
    };
    for (const OneOff& c :
         {OneOff{"one huge residual at an odd place", 1, 1e155},
          OneOff{"one huge residual, last of an odd count", 300, 1e155},
          OneOff{"one NaN residual", 300, std::numeric_limits<double>::quiet_NaN()}}) {
        FitProblem one_off = pose_problem(301, similarity_truth, 0.01);
        one_off.residuals = [inner = one_off.residuals, c](const double* x, double* fvec) {
            inner(x, fvec);
            fvec[c.index] *= c.factor;
        };
        expect_library_bits(c.name, one_off, moved_from(similarity_truth, 2.0));
    }

    // As many residuals as parameters; scaling given (mode 2) with progress calls.
    expect_library_bits("m = n", pose_problem(12, affine_truth, 0.1), moved_from(affine_truth, 1.0),
                        {1e-10});
    expect_library_bits("mode 2 with progress calls", pose_problem(900, aspect_truth, 0.02),
                        moved_from(aspect_truth, 3.0), {1e-6, 2, 1});

    // Improper input: nothing is evaluated.
    EXPECT_EQ(expect_library_bits("tolerance below 0", pose_problem(30, similarity_truth, 0.0),
                                  similarity_truth, {-1.0})
                  .nfev,
              0);
}

} // namespace
