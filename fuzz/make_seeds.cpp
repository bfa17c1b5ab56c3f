// Writes the fuzz targets' seed inputs, files as the program itself writes them:
// <directory>/<target>/<seed>. Run by the build.
#include "fuzz/fuzz_support.h"
#include "registration/registration_file.h"
#include "registration/result_file.h"
#include "state/working_state.h"
#include "surface/surface_data_file.h"
#include "surface/whole_file.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/wrl_files.h"
#include "utilities/batch_writer.h"
#include "utilities/shape_model.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> annotations = {
    "LAD sphere radius hint 2.5",
    "LANDMARK \"apex\" 0.000000 0.000000 5.000000 0.000000 0.000000 1.000000",
    "LANDMARK \"by index\" 3",
    "CLOSED_LANDCURVE \"equator\" 3",
    "5 0 0 1 0 0",
    "0",
    "0 5 0 0 1 0",
    "SEMILANDMARK 5",
};

bool write_seeds(const std::string& root)
{
    namespace fs = std::filesystem;
    for (const char* target : {"ply_layer", "ply_reader", "wrl_reader", "registration_file",
                               "batch_file", "data_file", "shape_model"})
        fs::create_directories(root + "/" + target);
    bool ok = true;
    const Mesh mesh = octahedron(5.0);
    for (const auto& [mode, name] :
         {std::pair{PLY_ASCII, "ascii.ply"}, std::pair{PLY_LITTLE_ENDIAN, "little.ply"},
          std::pair{PLY_BIG_ENDIAN, "big.ply"}}) {
        PlyLayout layout;
        layout.mode = mode;
        ok = ok && write_ply_file(root + "/ply_reader/" + name, mesh, annotations, layout);
        ok = ok && write_ply_file(root + "/ply_layer/" + name, mesh, annotations, layout);
    }
    const std::string wrl_annotations =
        "# LANDMARK \"tip\" 1\n# OPEN_LANDCURVE \"c\" 2\n# 1\n# 2\n";
    ok = ok && write_whole_file(root + "/wrl_reader/octahedron.wrl",
                                typical_wrl_file(mesh, wrl_annotations));

    WorkingState& state = loaded_pair();
    ok = ok && write_whole_file(root + "/registration_file/v13.reg", registration_file_text(state));
    ok = ok && write_breg_file(root + "/registration_file/result.breg",
                               state.lr_surface->vertex_count, state.lr_surface->positions);

    // The batch writer writes beside the LR surface.
    std::string batch;
    ok = ok && write_register_batch_file(state, "register.run", aspect_preset) &&
         read_whole_file(fuzz_directory() + "/register.run", 1 << 20, batch) ==
             WholeFileRead::read &&
         write_whole_file(root + "/batch_file/register.run", batch);

    const auto vertices = static_cast<std::size_t>(state.lr_surface->vertex_count);
    std::vector<double> values(vertices);
    for (std::size_t i = 0; i < vertices; ++i)
        values[i] = 0.5 * static_cast<double>(i);
    ok = ok && write_data_values(root + "/data_file/with_header.bin", values,
                                 data_header(0.0, 0.5 * static_cast<double>(vertices), "mm"));
    ok = ok && write_data_values(root + "/data_file/plain.bin", values);

    ShapeModel model;
    model.mean.assign(3 * vertices, 1.0f);
    model.variances = {4.0f, 1.0f};
    model.modes.assign(3 * vertices, {0.5f, -0.25f});
    ok = ok && write_ssm_file(root + "/shape_model/octahedron.ssm", model);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed directory>\n", argv[0]);
        return 2;
    }
    prepare_fuzzing();
    if (!write_seeds(argv[1])) {
        std::fprintf(stderr, "could not write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
