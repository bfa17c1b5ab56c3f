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

#include <cminpack.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Lmdif = int (*)(cminpack_func_mn, void*, int, int, double*, double*, double, double, double,
                      int, double, double*, int, double, int, int*, double*, int, int*, double*,
                      double*, double*, double*, double*);

struct Run {
    double seconds = 0.0;
    int nfev = 0;
    std::vector<double> x, fvec;
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One fit with the program's settings (tolerance 0.1), its work arrays touched beforehand as
// the program's kept ones are.
Run fit(Lmdif solver, const FitProblem& problem, const std::vector<double>& start)
{
    const auto m = static_cast<std::size_t>(problem.m);
    const auto n = static_cast<std::size_t>(problem.n);
    std::vector<double> work(m * n + m + 5 * n, 1.0);
    std::vector<int> pivots(n);
    Run run;
    run.x = start;
    run.fvec.assign(m, 0.0);
    double* diag = work.data();
    double* qtf = diag + n;
    double* wa1 = qtf + n;
    double* wa2 = wa1 + n;
    double* wa3 = wa2 + n;
    double* wa4 = wa3 + n;
    double* fjac = wa4 + m;
    const auto begin = std::chrono::steady_clock::now();
    solver(fit_problem_residuals, const_cast<FitProblem*>(&problem), problem.m, problem.n,
           run.x.data(), run.fvec.data(), 0.1, 0.1, 0.0, 200 * (problem.n + 1), 0.0, diag, 1, 100.0,
           0, &run.nfev, fjac, problem.m, pivots.data(), qtf, wa1, wa2, wa3, wa4);
    run.seconds = seconds_since(begin);
    return run;
}

Run best_of(int rounds, Lmdif solver, const FitProblem& problem, const std::vector<double>& start)
{
    Run best = fit(solver, problem, start);
    for (int r = 1; r < rounds; ++r) {
        Run run = fit(solver, problem, start);
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
        best = std::min(best, seconds_since(begin));
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
        const Run library = best_of(rounds, lmdif, c.problem, c.start);
        set_worker_thread_count(1);
        const Run one = best_of(rounds, transcribed_lmdif, c.problem, c.start);
        set_worker_thread_count(threads);
        const Run all = best_of(rounds, transcribed_lmdif, c.problem, c.start);
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
