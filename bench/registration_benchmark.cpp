// Timings of the registration core on generated surfaces of about 10k, 100k and 1M vertices:
// building the vertex grid, nearest-vertex queries near convergence (0.1 mm off the HR surface)
// and far from it (3 mm), the same queries through a k-d tree for comparison, and one
// registration iteration (matching and fit) of each global model. Ends with the ratio of the
// grid's query time to the k-d tree's.
#include "bench/bench_surfaces.h"
#include "registration/ffd_grid.h"
#include "registration/registration_iteration.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "registration/vertex_grid.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <benchmark/benchmark.h>
#include <nanoflann.hpp>
#include <wx/log.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t sizes[] = {10'000, 100'000, 1'000'000};
constexpr double near_distance = 0.1; // mm
constexpr double far_distance = 3.0;  // mm
// Slider value of the last auto-sequence steps: 3 mm with the 10 units per mm of these pairs.
constexpr int search_range = 30;
constexpr int fussy_percent = 10;
constexpr int shape_model_modes = 4;

// The HR surface as a point cloud for the k-d tree; refers to the positions, never copies them.
struct PointCloud {
    const std::vector<Point3>* points = nullptr;
    std::size_t kdtree_get_point_count() const { return points->size(); }
    double kdtree_get_pt(std::size_t i, std::size_t axis) const
    {
        const Point3& p = (*points)[i];
        return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
    }
    template <class Box> bool kdtree_get_bbox(Box&) const { return false; }
};
using KdTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, PointCloud>,
                                                   PointCloud, 3, std::size_t>;

// Everything the benchmarks of one size share. Only one size is held at a time.
struct SizedPair {
    std::int64_t size = 0;
    std::unique_ptr<WorkingState> state;      // LR about 1 mm and 2 degrees off
    std::unique_ptr<WorkingState> near_state; // LR 0.1 mm off: near convergence; made when needed
    std::vector<Point3> near_points;          // LR-like points between the HR vertices, 0.1 mm off
    std::vector<Point3> far_points;           // the same, 3 mm off
    std::unique_ptr<PointCloud> cloud;
    std::unique_ptr<KdTree> tree;
};

// A small synthetic shape model over the LR vertices: a stretch along z, a bulge in x and y, a
// bend in x and a twist, each growing smoothly along the bone.
void add_shape_model(WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const auto v = static_cast<std::size_t>(lr.vertex_count);
    state.ssm_mean.resize(3 * v);
    state.ssm_modes.assign(3 * v, std::vector<float>(shape_model_modes, 0.0f));
    state.ssm_variances.assign(shape_model_modes, 1.0f);
    state.ssm_mode_count = shape_model_modes;
    // Modes of about unit length, as a principal component analysis gives them.
    const double norm = 1.0 / std::sqrt(static_cast<double>(v));
    for (std::size_t i = 0; i < v; ++i) {
        const Point3& p = lr.positions[i];
        const double h = p.z / 60.0, x = p.x / 14.0, y = p.y / 14.0;
        const double mean[3] = {p.x, p.y, p.z};
        const double modes[3][shape_model_modes] = {
            {0.0, x, h * h, -y * h}, {0.0, y, 0.0, x * h}, {h, 0.0, 0.0, 0.0}};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            state.ssm_mean[3 * i + axis] = static_cast<float>(mean[axis]);
            for (std::size_t j = 0; j < shape_model_modes; ++j)
                state.ssm_modes[3 * i + axis][j] = static_cast<float>(norm * modes[axis][j]);
        }
    }
    state.lr_surface->sim_ssm_positions = lr.positions;
}

SizedPair& pair_of_size(std::int64_t size)
{
    static SizedPair pair;
    if (pair.size == size)
        return pair;
    pair = SizedPair{};
    pair.size = size;
    const Mesh hr = bumpy_bone(size);
    // LR: the same surface sampled half-way between the HR vertices, turned by 2 degrees and
    // moved by 1 mm, so that an iteration has a pose to find.
    const Mesh between = bumpy_bone(size, 0.5);
    pair.near_points = points_off_surface(between, near_distance);
    pair.far_points = points_off_surface(between, far_distance);
    Matrix4 offset;
    make_transform(offset, 1.0, -0.5, 0.5, 2.0, -1.0, 1.0);
    pair.state = std::make_unique<WorkingState>();
    load_pair(*pair.state, transformed_mesh(between, offset), hr);
    add_shape_model(*pair.state);
    pair.cloud = std::make_unique<PointCloud>();
    pair.cloud->points = &pair.state->hr_surface->positions;
    return pair;
}

// The pair near convergence: the LR shifted by 0.1 mm from where it belongs.
WorkingState& near_state_of(SizedPair& pair)
{
    if (!pair.near_state) {
        Matrix4 shift;
        make_transform(shift, 0.06, 0.06, 0.06, 0.0, 0.0, 0.0); // 0.104 mm
        pair.near_state = std::make_unique<WorkingState>();
        load_pair(*pair.near_state, transformed_mesh(bumpy_bone(pair.size, 0.5), shift),
                  bumpy_bone(pair.size));
        add_shape_model(*pair.near_state);
    }
    return *pair.near_state;
}

KdTree& tree_of(SizedPair& pair)
{
    if (!pair.tree)
        pair.tree =
            std::make_unique<KdTree>(3, *pair.cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    return *pair.tree;
}

const std::vector<Point3>& queries(const SizedPair& pair, bool near)
{
    return near ? pair.near_points : pair.far_points;
}

void grid_build(benchmark::State& timing, std::int64_t size)
{
    WorkingState& state = *pair_of_size(size).state;
    for (auto _ : timing)
        benchmark::DoNotOptimize(build_vertex_grid(state));
    timing.SetItemsProcessed(timing.iterations() * size);
}

void kd_tree_build(benchmark::State& timing, std::int64_t size)
{
    SizedPair& pair = pair_of_size(size);
    for (auto _ : timing) {
        KdTree tree(3, *pair.cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
        benchmark::DoNotOptimize(&tree);
    }
    timing.SetItemsProcessed(timing.iterations() * size);
}

void grid_queries(benchmark::State& timing, std::int64_t size, bool near)
{
    SizedPair& pair = pair_of_size(size);
    const WorkingState& state = *pair.state;
    const std::vector<Point3>& points = queries(pair, near);
    for (auto _ : timing) {
        std::int64_t sum = 0;
        for (const Point3& p : points)
            sum += find_closest_vertex(state, *state.hr_surface, p);
        benchmark::DoNotOptimize(sum);
    }
    timing.SetItemsProcessed(timing.iterations() * static_cast<std::int64_t>(points.size()));
}

void kd_tree_queries(benchmark::State& timing, std::int64_t size, bool near)
{
    SizedPair& pair = pair_of_size(size);
    const KdTree& tree = tree_of(pair);
    const std::vector<Point3>& points = queries(pair, near);
    for (auto _ : timing) {
        std::size_t sum = 0;
        for (const Point3& p : points) {
            const double q[3] = {p.x, p.y, p.z};
            std::size_t index = 0;
            double distance2 = 0.0;
            tree.knnSearch(q, 1, &index, &distance2);
            sum += index;
        }
        benchmark::DoNotOptimize(sum);
    }
    timing.SetItemsProcessed(timing.iterations() * static_cast<std::int64_t>(points.size()));
}

// One iteration of type from the pair's start pose, or near convergence: matching (two passes,
// "Fussy %" 10) with the error report, then the fit.
void registration_iteration(benchmark::State& timing, std::int64_t size, int type, bool near)
{
    SizedPair& pair = pair_of_size(size);
    WorkingState& state = near ? near_state_of(pair) : *pair.state;
    const MatchControls controls{fussy_percent, rims_yes, search_range};
    for (auto _ : timing) {
        timing.PauseTiming();
        state.rigid_transform = state.similarity_transform = state.affine_transform =
            state.aspect_transform = identity_matrix();
        reset_ffd_grid(state.ffd_lattice(), state.similarity_ffd_grid);
        state.lr_surface->sim_ssm_positions = state.lr_surface->positions;
        select_registration_type(state, type);
        std::fill(state.lr_surface->fussy.begin(), state.lr_surface->fussy.end(), 0);
        state.iteration_counter = 0;
        timing.ResumeTiming();
        run_registration_iteration(state, type, controls, 20, search_range, state.range_units);
    }
    timing.SetItemsProcessed(timing.iterations() * size);
}

std::string size_name(std::int64_t size)
{
    return size >= 1'000'000 ? std::to_string(size / 1'000'000) + "M"
                             : std::to_string(size / 1000) + "k";
}

// Records the time per query of the grid and the k-d tree and prints their ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                time_per_run_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }

    void print_ratios() const
    {
        std::printf("\nQuery time, grid / k-d tree (below 1: the grid is faster)\n");
        for (const std::int64_t size : sizes)
            for (const char* distance : {"near", "far"}) {
                const std::string suffix = std::string("/") + size_name(size) + "/" + distance;
                const auto grid = time_per_run_.find("grid_queries" + suffix);
                const auto tree = time_per_run_.find("kd_tree_queries" + suffix);
                if (grid != time_per_run_.end() && tree != time_per_run_.end())
                    std::printf("%-5s %-5s %.2f\n", size_name(size).c_str(), distance,
                                grid->second / tree->second);
            }
    }

private:
    std::map<std::string, double> time_per_run_;
};

void register_benchmarks()
{
    struct Model {
        const char* name;
        int type;
    };
    // The three FFD types differ only in the family of their fixed pose: one stands for all.
    const Model models[] = {
        {"rigid", rigid},   {"similarity", similarity},         {"affine", affine},
        {"aspect", aspect}, {"similarity_ffd", similarity_ffd}, {"similarity_ssm", similarity_ssm}};
    for (const std::int64_t size : sizes) {
        const std::string name = size_name(size);
        const bool large = size >= 1'000'000;
        const auto set_up_timing = [large](benchmark::internal::Benchmark* b) {
            b->Unit(benchmark::kMillisecond)->UseRealTime();
            if (large)
                b->Iterations(1);
        };
        set_up_timing(
            benchmark::RegisterBenchmark(("grid_build/" + name).c_str(), grid_build, size));
        set_up_timing(
            benchmark::RegisterBenchmark(("kd_tree_build/" + name).c_str(), kd_tree_build, size));
        for (const bool near : {true, false}) {
            const std::string suffix = "/" + name + (near ? "/near" : "/far");
            set_up_timing(benchmark::RegisterBenchmark(("grid_queries" + suffix).c_str(),
                                                       grid_queries, size, near));
            set_up_timing(benchmark::RegisterBenchmark(("kd_tree_queries" + suffix).c_str(),
                                                       kd_tree_queries, size, near));
        }
        for (const bool near : {false, true})
            for (const Model& model : models) {
                // The FFD fit's forward-difference Jacobian holds 3 V x 192 doubles: 4.6 GB at 1M
                // vertices, more than a shared machine should give a benchmark; near
                // convergence it costs what it costs from the start pose.
                if (is_ffd_type(model.type) && (large || near))
                    continue;
                benchmark::RegisterBenchmark(
                    ("iteration/" + name + "/" + model.name + (near ? "/near" : "")).c_str(),
                    registration_iteration, size, model.type, near)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->Iterations(large || is_ffd_type(model.type) ? 1 : 3);
            }
    }
}

} // namespace

int main(int argc, char** argv)
{
    wxLogNull no_status_messages; // the iterations report their error at status level
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
