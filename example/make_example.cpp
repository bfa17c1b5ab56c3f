// Writes the example: two bone-like surfaces, cortical-thickness-like data on the target and a
// three-job batch file that registers the template onto the target, maps the data and saves a
// picture of the pair. Everything is generated here, so the example carries no one's real data.
//
//   kelvorand_example DIRECTORY
//
// writes DIRECTORY/template_bone.ply, target_bone.ply, target_bone_thickness.bin and bones.run.
#include "surface/matrix4.h"
#include "surface/ply_surface_writer.h"
#include "surface/surface_data_file.h"

#include <wx/filename.h>
#include <wx/init.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

// The shape of one bone: a tube swept along a centreline that runs up the shaft, bends
// medially through the neck and ends in a round head, closed at both ends. Lengths in mm.
struct BoneShape {
    double condyle_radius;     // the wide lower end, a half ellipsoid flattened front to back
    double shaft_radius;       // at the narrowest point of the shaft
    double shaft_length;       // from the lower pole to the start of the bend
    double neck_angle_degrees; // how far the neck turns away from the shaft
    double neck_length;        // straight part between the bend and the head
    double neck_radius;
    double head_radius;
};

constexpr double bend_radius = 30.0;
constexpr int segments = 40; // vertices around each ring
constexpr int rings = 100;   // rings between the two poles

// A point of the centreline at arc length s, with its unit tangent; the centreline lies in the
// xz plane.
struct CurvePoint {
    double x, z, tx, tz;
};

CurvePoint centreline(const BoneShape& shape, double s)
{
    if (s <= shape.shaft_length)
        return {0.0, s, 0.0, 1.0};
    const double turn = shape.neck_angle_degrees * pi / 180.0;
    const double arc = bend_radius * turn;
    if (s <= shape.shaft_length + arc) {
        const double a = (s - shape.shaft_length) / bend_radius;
        return {bend_radius * (1.0 - std::cos(a)), shape.shaft_length + bend_radius * std::sin(a),
                std::sin(a), std::cos(a)};
    }
    const double t = s - shape.shaft_length - arc;
    return {bend_radius * (1.0 - std::cos(turn)) + t * std::sin(turn),
            shape.shaft_length + bend_radius * std::sin(turn) + t * std::cos(turn), std::sin(turn),
            std::cos(turn)};
}

double total_length(const BoneShape& shape)
{
    return shape.shaft_length + bend_radius * shape.neck_angle_degrees * pi / 180.0 +
           shape.neck_length + 2.0 * shape.head_radius;
}

// Smooth step from 0 at a to 1 at b.
double blend(double a, double b, double s)
{
    const double t = std::clamp((s - a) / (b - a), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// The tube's radius at arc length s: a round lower end, a shaft with a gentle waist, a
// narrower neck and a head whose outline is a sphere about its centre on the centreline.
double tube_radius(const BoneShape& shape, double s)
{
    const double length = total_length(shape);
    const double c = shape.condyle_radius;
    if (s < c)
        return c * std::sqrt(std::max(0.0, 1.0 - (c - s) * (c - s) / (c * c)));
    const double waist = 1.0 + 0.12 * std::cos(2.0 * pi * (s - c) / (shape.shaft_length - c));
    double r = c + (shape.shaft_radius * waist - c) * blend(c, 2.0 * c + 10.0, s);
    r += (shape.neck_radius - r) * blend(shape.shaft_length - 10.0, shape.shaft_length + 15.0, s);
    const double head_centre = length - shape.head_radius;
    const double d = s - head_centre;
    if (std::abs(d) < shape.head_radius)
        r = std::max(r, std::sqrt(shape.head_radius * shape.head_radius - d * d));
    return s >= length ? 0.0 : r;
}

struct Mesh {
    std::vector<Point3> positions;
    std::vector<Triangle> triangles;
};

// The closed surface of the shape: a pole, `rings` rings of `segments` vertices, a pole. The
// lower end is flattened front to back (y) and a ridge runs down the back of the shaft, so
// that no rotation or reflection maps the bone onto itself.
Mesh bone_mesh(const BoneShape& shape)
{
    Mesh mesh;
    const double length = total_length(shape);
    mesh.positions.push_back({0.0, 0.0, 0.0});
    for (int r = 1; r <= rings; ++r) {
        // Rings crowd towards the poles, where the outline turns fastest.
        const double u = static_cast<double>(r) / (rings + 1);
        const double s = length * (u - std::sin(2.0 * pi * u) / (2.0 * pi) * 0.6);
        const CurvePoint p = centreline(shape, s);
        const double radius = tube_radius(shape, s);
        const double flatten = 1.0 - 0.3 * (1.0 - blend(0.0, shape.condyle_radius * 2.0, s));
        for (int k = 0; k < segments; ++k) {
            const double a = 2.0 * pi * k / segments;
            const double ridge =
                1.0 + 0.15 * std::exp(-std::pow((a - 1.5 * pi) / 0.35, 2.0)) *
                          blend(shape.condyle_radius, shape.condyle_radius + 20.0, s) *
                          (1.0 - blend(shape.shaft_length - 30.0, shape.shaft_length, s));
            // In the ring's plane: the in-plane normal (tz, 0, -tx) and y.
            const double across = radius * ridge * std::cos(a);
            const double depth = radius * ridge * flatten * std::sin(a);
            mesh.positions.push_back({p.x + across * p.tz, depth, p.z - across * p.tx});
        }
    }
    const CurvePoint top = centreline(shape, length);
    mesh.positions.push_back({top.x, 0.0, top.z});

    const auto ring_vertex = [](int r, int k) {
        return static_cast<std::int64_t>(1 + (r - 1) * segments + (k % segments));
    };
    const auto add = [&mesh](std::int64_t a, std::int64_t b, std::int64_t c) {
        mesh.triangles.push_back(Triangle{{a, b, c}});
    };
    for (int k = 0; k < segments; ++k)
        add(0, ring_vertex(1, k + 1), ring_vertex(1, k));
    for (int r = 1; r < rings; ++r) {
        for (int k = 0; k < segments; ++k) {
            add(ring_vertex(r, k), ring_vertex(r, k + 1), ring_vertex(r + 1, k + 1));
            add(ring_vertex(r, k), ring_vertex(r + 1, k + 1), ring_vertex(r + 1, k));
        }
    }
    const auto last = static_cast<std::int64_t>(mesh.positions.size() - 1);
    for (int k = 0; k < segments; ++k)
        add(last, ring_vertex(rings, k), ring_vertex(rings, k + 1));
    return mesh;
}

bool write_surface(const std::string& path, const Mesh& mesh)
{
    PlySurface file;
    file.comments.push_back("generated bone-like surface, Kelvorand example");
    file.positions = mesh.positions;
    file.triangles = mesh.triangles;
    return write_ply_surface(path, file, "Could not write " + path);
}

// A smooth thickness in mm: thicker in the shaft's middle and on the ridge side, thin at the
// ends.
std::vector<double> thickness(const Mesh& mesh)
{
    std::vector<double> values;
    for (const Point3& p : mesh.positions)
        values.push_back(1.0 + 2.5 * std::exp(-std::pow((p.z - 80.0) / 50.0, 2.0)) +
                         0.5 * std::tanh(-p.y / 10.0));
    return values;
}

// The batch file: the directory as prefix, then three jobs on the pair.
std::string batch_text(const std::string& directory)
{
    return "# Kelvorand example: register the template bone onto the target bone.\n"
           "\"" +
           directory +
           "/\"\n"
           "\n"
           "# LR surface      HR surface       LR data  HR data                    reflect"
           "  smth LR  smth HR  range  fussy  n iter  reg type  save reg  save LR data"
           "  save map  review  rims\n"
           "# An aspect registration under the auto sequence, saved.\n"
           "template_bone.ply target_bone.ply  n/a      n/a                        0"
           "        0        0        999    -1     60      7         1         -1"
           "            0         0       0\n"
           "# Its similarity part refined; the target's thickness mapped onto the template and\n"
           "# saved with the LR-HR map.\n"
           "template_bone.ply target_bone.ply  n/a      target_bone_thickness.bin  0"
           "        0        2        999    0      20      -1        1         0"
           "             1         0       0\n"
           "# One picture of the registered pair, shown in view 2.\n"
           "template_bone.ply target_bone.ply  n/a      n/a                        0"
           "        0        0        999    0      0       1         0         -1"
           "            0         2       0\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: kelvorand_example DIRECTORY\n";
        return 2;
    }
    wxInitializer toolkit;
    wxFileName directory = wxFileName::DirName(wxString::FromUTF8(argv[1]));
    directory.MakeAbsolute();
    if (!directory.Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        std::cerr << "Could not create " << argv[1] << "\n";
        return 1;
    }
    const std::string path(directory.GetPath().ToUTF8().data());

    // The template: a slimmer bone with a steeper neck, standing as built.
    const BoneShape template_shape{24.0, 11.0, 130.0, 55.0, 30.0, 11.0, 22.0};
    // The target: longer, with a heavier lower end and a larger head, lying turned and moved in
    // its scanner's coordinates.
    const BoneShape target_shape{27.0, 12.5, 150.0, 45.0, 36.0, 12.5, 24.0};
    Mesh target = bone_mesh(target_shape);
    Matrix4 pose;
    make_transform(pose, 40.0, -25.0, 60.0, 12.0, -8.0, 5.0);
    for (Point3& p : target.positions)
        transform_point(p, pose, p);

    const std::vector<double> target_thickness = thickness(bone_mesh(target_shape));
    const bool written = write_surface(path + "/template_bone.ply", bone_mesh(template_shape)) &&
                         write_surface(path + "/target_bone.ply", target) &&
                         write_data_values(path + "/target_bone_thickness.bin", target_thickness);
    std::ofstream batch(path + "/bones.run");
    batch << batch_text(path);
    batch.close();
    if (!written || !batch) {
        std::cerr << "Could not write the example into " << path << "\n";
        return 1;
    }
    return 0;
}
