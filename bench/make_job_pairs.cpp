// Writes the pairs of the whole-job benchmark (bench/whole_job.sh) and their batch files:
//
//   kelvorand_job_pairs REAL_FEMUR_PLY DIRECTORY
//
// DIRECTORY/femur: the real femur split twice into four triangles per triangle (about 25k
// vertices) as LR, and the same surface turned by 6 degrees and moved by about 4 mm as HR, with
// the femur's licence beside them. DIRECTORY/bone164k and bone655k: generated bones of about
// 164k and 655k vertices, the HR sampled half-way between the LR's vertices, the LR turned by
// 2 degrees and moved by about 1 mm. Each directory holds lr.ply, hr.ply, "similarity.run" (40
// "Similarity" iterations within 10 mm, "Fussy %" 0, the registration saved) and
// "distance.txt", that search range in millimetres for the peer. The femur also gets
// "lad1.run" and "lad4.run": 1 and 4 "Similarity + LAD" iterations, whose difference is the cost
// of three iterations, and "ffd1.run" and "ffd3.run", the same for "Similarity + FFD" with 1 and
// 3 iterations.
#include "bench/bench_surfaces.h"
#include "registration/vertex_grid.h"
#include "surface/matrix4.h"
#include "surface/ply_surface_reader.h"
#include "surface/ply_surface_writer.h"

#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double search_range_mm = 10.0;

Mesh moved(const Mesh& mesh, double tx, double ty, double tz, double a, double b, double c)
{
    Matrix4 pose;
    make_transform(pose, tx, ty, tz, a, b, c);
    return transformed_mesh(mesh, pose);
}

bool write_mesh(const std::string& path, const Mesh& mesh, const std::string& comment)
{
    PlySurface file;
    file.comments.push_back(comment);
    file.positions = mesh.positions;
    file.triangles = mesh.triangles;
    return write_ply_surface(path, file, "Could not write " + path);
}

// The search-range slider value that stands for search_range_mm over this HR surface.
int slider_value(const Mesh& hr)
{
    Point3 low = hr.positions.front(), high = hr.positions.front();
    for (const Point3& p : hr.positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double extent = std::max({high.x - low.x, high.y - low.y, high.z - low.z});
    return static_cast<int>(std::lround(search_range_mm * search_range_scale(extent / 100).units));
}

// One job on lr.ply and hr.ply: iterations of type, the registration saved.
bool write_batch(const std::string& path, const std::string& directory, int range, int iterations,
                 int type)
{
    std::ofstream batch(path);
    batch << "\"" << directory << "/\"\n"
          << "lr.ply hr.ply n/a n/a 0 0 0 " << range << " 0 " << iterations << " " << type
          << " 1 -1 0 0 1 0\n";
    batch.close();
    return static_cast<bool>(batch);
}

bool write_pair(const std::string& directory, const Mesh& lr, const Mesh& hr,
                const std::string& comment)
{
    if (!wxFileName::Mkdir(wxString::FromUTF8(directory), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL))
        return false;
    const int range = slider_value(hr);
    std::ofstream distance(directory + "/distance.txt");
    distance << search_range_mm << "\n";
    distance.close();
    return write_mesh(directory + "/lr.ply", lr, comment) &&
           write_mesh(directory + "/hr.ply", hr, comment) &&
           write_batch(directory + "/similarity.run", directory, range, 40, 1) &&
           static_cast<bool>(distance);
}

bool write_femur_pair(const std::string& femur_path, const std::string& directory)
{
    Surface read;
    if (!parse_ply_file(femur_path, read))
        return false;
    const Mesh femur = subdivided(subdivided(Mesh{read.positions, read.triangles}));
    const std::string comment = "derived from ProximalFemur.ply, BSD-3-Clause, see LICENSE";
    if (!write_pair(directory, femur, moved(femur, 3.0, -2.0, 2.0, 4.0, -3.0, 3.0), comment))
        return false;
    const int range = slider_value(femur);
    if (!copy_femur_licence(femur_path, directory))
        return false;
    return write_batch(directory + "/lad1.run", directory, range, 1, 3) &&
           write_batch(directory + "/lad4.run", directory, range, 4, 3) &&
           write_batch(directory + "/ffd1.run", directory, range, 1, 2) &&
           write_batch(directory + "/ffd3.run", directory, range, 3, 2);
}

bool write_bone_pair(std::int64_t size, const std::string& directory)
{
    const Mesh hr = bumpy_bone(size);
    const Mesh lr = moved(bumpy_bone(size, 0.5), 1.0, -0.5, 0.5, 2.0, -1.0, 1.0);
    return write_pair(directory, lr, hr, "generated bone-like surface, Kelvorand benchmark");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: kelvorand_job_pairs REAL_FEMUR_PLY DIRECTORY\n";
        return 2;
    }
    wxInitializer toolkit;
    wxLogNull quiet; // the reader and writers report at status level
    const std::string directory = argv[2];
    const bool written = write_femur_pair(argv[1], directory + "/femur") &&
                         write_bone_pair(164'000, directory + "/bone164k") &&
                         write_bone_pair(655'000, directory + "/bone655k");
    if (!written) {
        std::cerr << "Could not write the benchmark pairs into " << directory << "\n";
        return 1;
    }
    return 0;
}
