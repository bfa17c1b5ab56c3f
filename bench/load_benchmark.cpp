// Loading a pair of surfaces the way "Load surfaces" does, without a window: both files parsed,
// both surfaces analysed, the vertex grid built, every annotation reprojected and paired, each
// step timed on one thread, then the peak resident memory per vertex pair. It also writes the
// generated pairs it loads, and a set of pairs with a batch file whose outputs serve to check
// that a change leaves every written file as it was.
//
//   kelvorand_load_benchmark write DIRECTORY VERTICES [open]
//       a closed (or open) bumpy bone pair of about VERTICES vertices each as DIRECTORY/lr.ply
//       and DIRECTORY/hr.ply, and DIRECTORY/load.run, one job that loads them and does nothing
//       else (for /usr/bin/time -v on the program)
//   kelvorand_load_benchmark corpus DIRECTORY FEMUR.ply
//       open bone pairs with landmarks and semilandmarks, copies of the femur FEMUR.ply made
//       denser and turned, a generated proximal femur pair, and DIRECTORY/jobs.run, a batch of
//       jobs over them that saves every kind of output file and two pictures
//   kelvorand_load_benchmark load LR.ply HR.ply
//       times a headless load of the pair (the first file LR) and prints its peak memory
#include "analysis/surface_geometry.h"
#include "bench/bench_surfaces.h"
#include "registration/family_transform.h"
#include "registration/ffd_grid.h"
#include "registration/pairing.h"
#include "registration/registration_file.h"
#include "registration/registration_type.h"
#include "registration/reprojection.h"
#include "registration/vertex_grid.h"
#include "state/working_state.h"
#include "surface/load_surfaces.h"
#include "surface/ply_surface_reader.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/proximal_femur.h"

#include <wx/log.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// ---- Generated pairs --------------------------------------------------------------------

std::string annotation(const char* keyword, const std::string& name, const Point3& p)
{
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "%f %f %f 0.000000 0.000000 1.000000", p.x, p.y, p.z);
    const std::string quoted = name.empty() ? "" : "\"" + name + "\" ";
    return std::string(keyword) + " " + quoted + numbers;
}

// Three named landmarks near the bone's surface (the same names on both surfaces), and on the
// LR surface a few semilandmarks as well.
std::vector<std::string> bone_annotations(const Mesh& mesh, bool with_semilandmarks)
{
    std::vector<std::string> comments;
    const std::size_t n = mesh.positions.size();
    const char* names[] = {"upper end", "bump", "side"};
    for (std::size_t k = 0; k < 3; ++k) {
        const Point3 p = mesh.positions[(n / 4) * (k + 1) + 7 * k];
        comments.push_back(annotation("LANDMARK", names[k], p + Point3{0.3, -0.2, 0.1}));
    }
    for (std::size_t k = 0; with_semilandmarks && k < 8; ++k)
        comments.push_back(annotation("SEMILANDMARK", "", mesh.positions[(n / 9) * (k + 1)]));
    return comments;
}

Matrix4 pose(double tx, double ty, double tz, double a, double b, double c)
{
    Matrix4 m;
    make_transform(m, tx, ty, tz, a, b, c);
    return m;
}

bool write_bone_pair(const std::string& directory, const std::string& lr_name,
                     const std::string& hr_name, std::int64_t vertices, bool open, bool annotated)
{
    const Mesh lr =
        transformed_mesh(open ? open_bumpy_bone(vertices, 0.5) : bumpy_bone(vertices, 0.5),
                         pose(1.0, -0.5, 0.5, 2.0, -1.0, 1.0));
    const Mesh hr = open ? open_bumpy_bone(vertices) : bumpy_bone(vertices);
    const std::vector<std::string> none;
    return write_ply_file(directory + "/" + lr_name, lr,
                          annotated ? bone_annotations(lr, true) : none) &&
           write_ply_file(directory + "/" + hr_name, hr,
                          annotated ? bone_annotations(hr, false) : none);
}

bool write_lines(const std::string& path, const std::vector<std::string>& lines)
{
    std::ofstream out(path);
    for (const std::string& line : lines)
        out << line << '\n';
    return static_cast<bool>(out.flush());
}

int write_load_pair(const std::string& directory, std::int64_t vertices, bool open)
{
    if (!write_bone_pair(directory, "lr.ply", "hr.ply", vertices, open, open))
        return 1;
    // Nothing iterated, nothing saved: the job loads the pair and the program ends.
    return write_lines(
               directory + "/load.run",
               {"\"" + directory + "/\"", "lr.ply hr.ply n/a n/a 0 0 0 999 0 0 1 0 -1 0 0 1 0"})
               ? 0
               : 1;
}

int write_corpus(const std::string& directory, const std::string& femur_path)
{
    Surface femur;
    if (!parse_ply_file(femur_path, femur)) {
        std::fprintf(stderr, "could not read %s\n", femur_path.c_str());
        return 1;
    }
    const Mesh real{femur.positions, femur.triangles};
    const Mesh femur_lr = subdivided(real);
    const Mesh femur_hr =
        transformed_mesh(subdivided(femur_lr), pose(4.0, -3.0, 2.0, 10.0, -6.0, 8.0));
    ProximalFemurShape lr_shape;
    lr_shape.spacing = 1.0;
    ProximalFemurShape hr_shape;
    hr_shape.spacing = 0.8;
    hr_shape.head_radius = 23.0;
    const Mesh generated_lr = mirrored_in_y(proximal_femur(lr_shape));
    const Mesh generated_hr =
        transformed_mesh(proximal_femur(hr_shape), pose(2.0, 1.0, -1.0, 3.0, 2.0, -4.0));
    const std::string d = directory + "/";
    if (!write_bone_pair(directory, "open_lr.ply", "open_hr.ply", 35'000, true, true) ||
        !write_bone_pair(directory, "big_lr.ply", "big_hr.ply", 141'000, true, false) ||
        !write_ply_file(d + "ProximalFemur_lr.ply", femur_lr) ||
        !write_ply_file(d + "ProximalFemur_hr.ply", femur_hr) ||
        !write_ply_file(d + "generated_proximal_femur_lr.ply", generated_lr) ||
        !write_ply_file(d + "generated_proximal_femur_hr.ply", generated_hr) ||
        !copy_femur_licence(femur_path, directory)) {
        std::fprintf(stderr, "could not write the corpus into %s\n", directory.c_str());
        return 1;
    }
    // Columns: LR, HR, LR data, HR data, reflect, smooth LR, smooth HR, range, fussy,
    // iterations, type, save reg, save LR data, save map, review, rims, save HR.
    const std::vector<std::string> jobs = {
        "\"" + d + "\"",
        "open_lr.ply open_hr.ply n/a n/a 0 0 0 999 10 8 1 1 -1 1 0 2 1",
        "open_lr.ply open_hr.ply n/a n/a 0 0 0 999 0 4 10 1 -1 1 0 2 0",
        "open_lr.ply open_hr.ply n/a n/a 0 0 0 999 -1 6 5 1 -1 1 0 1 0",
        "open_lr.ply open_hr.ply n/a n/a 0 0 0 999 0 0 1 0 -1 0 3 2 0",
        "ProximalFemur_lr.ply ProximalFemur_hr.ply n/a n/a 0 0 0 999 -1 20 7 1 -1 1 0 1 1",
        "ProximalFemur_lr.ply ProximalFemur_hr.ply n/a n/a 0 0 0 999 0 2 3 1 -1 1 0 1 0",
        "ProximalFemur_lr.ply ProximalFemur_hr.ply n/a n/a 0 0 0 999 0 3 10 1 -1 1 0 1 0",
        "ProximalFemur_lr.ply ProximalFemur_hr.ply n/a n/a 0 0 0 999 0 0 1 0 -1 0 2 1 0",
        "generated_proximal_femur_lr.ply generated_proximal_femur_hr.ply n/a n/a 1 0 0 999 10 5 1 "
        "1 -1 1 0 2 1",
        "generated_proximal_femur_lr.ply generated_proximal_femur_hr.ply n/a n/a 1 0 0 999 0 3 "
        "10 1 -1 1 0 2 0",
        "big_lr.ply big_hr.ply n/a n/a 0 0 0 999 10 1 1 1 -1 1 0 2 1",
    };
    return write_lines(d + "jobs.run", jobs) ? 0 : 1;
}

// ---- Timed load -------------------------------------------------------------------------

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident memory now, and the most so far, in kilobytes.
long resident_kilobytes()
{
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peak_resident_kilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int time_load(const std::string& lr_path, const std::string& hr_path)
{
    const long start_kilobytes = resident_kilobytes();
    WorkingState state;
    const auto file_name = [](const std::string& path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    };
    struct Step {
        const char* name;
        double seconds;
        long resident_kilobytes; // after the step
        long peak_kilobytes;     // the process's peak so far
    };
    std::vector<Step> steps;
    auto start = std::chrono::steady_clock::now();
    const auto step = [&](const char* name) {
        steps.push_back({name, seconds_since(start), resident_kilobytes(),
                         peak_resident_kilobytes()});
        start = std::chrono::steady_clock::now();
    };
    if (!parse_surface_pair(state, lr_path, hr_path, file_name(lr_path), file_name(hr_path),
                            true)) {
        std::fprintf(stderr, "could not read the pair\n");
        return 1;
    }
    step("parse both files");
    analyse_surface_geometry(*state.lr_surface);
    analyse_surface_geometry(*state.hr_surface);
    step("analyse both surfaces");
    fit_lattice_and_lad_radius(state);
    build_vertex_grid(state);
    step("vertex grid");
    load_registration_file(state);
    restore_current_transform(state, similarity);
    update_deformed_positions(state, similarity);
    reset_lr_vertex_state(state);
    step("registration and LR state");
    reproject_landmarks(state, *state.lr_surface);
    reproject_landmarks(state, *state.hr_surface);
    step("reproject annotations");
    pair_landmarks(*state.lr_surface, *state.hr_surface);
    pair_landcurves(state, rims_yes);
    step("pair annotations");

    // What each step leaves resident beside the peak so far: a step whose working data is gone
    // again raises the peak but not what stays.
    double total = 0.0;
    std::printf("%-28s %10s %12s %10s\n", "step", "time", "resident", "peak");
    for (const Step& s : steps) {
        std::printf("%-28s %8.3f s %9.1f MB %7.1f MB\n", s.name, s.seconds,
                    s.resident_kilobytes / 1024.0, s.peak_kilobytes / 1024.0);
        total += s.seconds;
    }
    std::printf("%-28s %8.3f s\n", "total", total);
    const double pairs =
        0.5 * static_cast<double>(state.lr_surface->vertex_count + state.hr_surface->vertex_count);
    const long peak = peak_resident_kilobytes();
    std::printf("LR %lld and HR %lld vertices, %lld and %lld landcurves\n",
                static_cast<long long>(state.lr_surface->vertex_count),
                static_cast<long long>(state.hr_surface->vertex_count),
                static_cast<long long>(state.lr_surface->landcurves.size()),
                static_cast<long long>(state.hr_surface->landcurves.size()));
    std::printf("peak resident memory %.1f MB: %.0f bytes per vertex pair, %.0f beyond the %.1f MB "
                "at start\n",
                peak / 1024.0, 1024.0 * static_cast<double>(peak) / pairs,
                1024.0 * static_cast<double>(peak - start_kilobytes) / pairs,
                start_kilobytes / 1024.0);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: kelvorand_load_benchmark write DIRECTORY VERTICES [open]\n"
                         "       kelvorand_load_benchmark corpus DIRECTORY FEMUR.ply\n"
                         "       kelvorand_load_benchmark load LR.ply HR.ply\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    wxLogNull no_status_messages;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 3 && arguments[0] == "write")
        return write_load_pair(arguments[1], std::atoll(arguments[2].c_str()),
                               arguments.size() > 3 && arguments[3] == "open");
    if (arguments.size() == 3 && arguments[0] == "corpus")
        return write_corpus(arguments[1], arguments[2]);
    if (arguments.size() == 3 && arguments[0] == "load")
        return time_load(arguments[1], arguments[2]);
    return usage();
}
