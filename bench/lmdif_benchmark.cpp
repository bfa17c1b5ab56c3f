// The solver alone: the library's lmdif against its transcription (surface/lmdif_transcription)
// on fits shaped like the program's, a similarity of 7 parameters over the residuals of 25k,
// 164k and 655k vertices and a lattice of 192 control values over 22k points, each started
// well off. Prints the best of ROUNDS wall times (default 3) of the library, of the
// transcription on one thread and on every thread, the time of the residual evaluations within
// them, and whether the transcription's x and fvec have the library's bits.
//
//   kelvorand_lmdif_benchmark [ROUNDS]
#include "surface/lmdif_transcription.h"
#include "surface/thread_pool.h"
#include "tests/fixtures/fit_problems.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The best of rounds fits (their arrays filled beforehand, as the program's kept ones are).
FitOutcome best_of(int rounds, LmdifFunction solver, const FitProblem& problem,
                   const std::vector<double>& start)
{
    FitOutcome best = solve_fit(solver, problem, start);
    for (int r = 1; r < rounds; ++r) {
        FitOutcome run = solve_fit(solver, problem, start);
        if (run.seconds < best.seconds)
            best = std::move(run);
    }
    return best;
}

// The time of one residual evaluation, best of a few.
double evaluation_seconds(const FitProblem& problem, const std::vector<double>& x)
{
    std::vector<double> fvec(static_cast<std::size_t>(problem.m));
    double best = 1e30;
    for (int r = 0; r < 5; ++r) {
        const auto begin = std::chrono::steady_clock::now();
        problem.residuals(x.data(), fvec.data());
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    return best;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::string load()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int threads = worker_thread_count();
    std::printf("best of %d; all threads = %d; load at start %s\n\n", rounds, threads,
                load().c_str());
    std::printf("| fit | m x n | nfev | residuals | library | transcribed, 1 thread | "
                "transcribed, %d threads | same bits | load |\n",
                threads);
    std::printf("|---|---|---|---|---|---|---|---|---|\n");

    struct Case {
        const char* name;
        FitProblem problem;
        std::vector<double> start;
    };
    std::vector<Case> cases;
    for (const auto& [name, vertices] :
         {std::pair{"similarity, 25k vertices", 25'042}, std::pair{"similarity, 164k", 163'802},
          std::pair{"similarity, 655k", 654'656}})
        cases.push_back({name, pose_problem(3 * vertices, similarity_truth, 0.02),
                         moved_from(similarity_truth, 3.0)});
    {
        Case lattice{"lattice, 22k points", {}, {}};
        lattice.problem = lattice_problem(22'000, lattice.start, 4.0);
        cases.push_back(std::move(lattice));
    }

    for (const Case& c : cases) {
        const FitOutcome library = best_of(rounds, lmdif, c.problem, c.start);
        set_worker_thread_count(1);
        const FitOutcome one = best_of(rounds, transcribed_lmdif, c.problem, c.start);
        set_worker_thread_count(threads);
        const FitOutcome all = best_of(rounds, transcribed_lmdif, c.problem, c.start);
        const bool same = same_bits(library.x, one.x) && same_bits(library.fvec, one.fvec) &&
                          same_bits(library.x, all.x) && same_bits(library.fvec, all.fvec) &&
                          library.nfev == one.nfev && library.nfev == all.nfev;
        const double residuals = library.nfev * evaluation_seconds(c.problem, c.start);
        std::printf("| %s | %d x %d | %d | %.3f s | %.3f s | %.3f s | %.3f s | %s | %s |\n", c.name,
                    c.problem.m, c.problem.n, library.nfev, residuals, library.seconds, one.seconds,
                    all.seconds, same ? "yes" : "NO", load().c_str());
        std::fflush(stdout);
    }
    return 0;
}
