// The automatic SSM creator: a shape model of the loaded LR surface built from the result files
// of its saved registrations in its directory (optionally aligned by Procrustes analysis, then
// principal components), written as "auto_<LR name><tag><n>.ssm" with a table of per-shape
// measurements and mode coefficients beside it (".csv"), and installed as the current model.
#pragma once

#include "surface/matrix4.h"

#include <Eigen/Dense>
#include <wx/string.h>

#include <cstdint>
#include <string>
#include <vector>

struct Surface;
struct WorkingState;

// The registrations one model is built from.
struct CreatorModel {
    int code;           // RegistrationType of the result files
    const char* suffix; // result file name ending
    const char* tag;    // part of the output names
    const char* label;  // part of the messages
    int rows;           // matrix rows read from the registration file
};

// The model of a choice item's code: 6, 9 and 10 have their own, any other code is 3
// ("Similarity + LAD").
const CreatorModel& creator_model(int code);

// One saved registration of the LR surface to another surface.
struct ShapeEntry {
    double scale = 1.0; // cube root of |det| of the matrix's linear part
    Matrix4 matrix;     // the family matrix as written in the registration file
    wxString breg_file; // full path of the result file
    wxString other_name;
};

// Ascending natural order of the other surfaces' names.
bool natural_less_shape_entry(const ShapeEntry& a, const ShapeEntry& b);

// The usable registrations in `directory` (hidden files included, sub-directories not entered),
// in natural order: result files named <LR name>-<other name><suffix> of exactly 12 x
// vertex_count bytes whose registration file <LR name>-<other name>.reg yields the model's
// matrix rows. False when the directory cannot be opened.
bool find_shape_entries(const wxString& directory, const std::string& lr_name,
                        std::int64_t vertex_count, const CreatorModel& model,
                        std::vector<ShapeEntry>& entries);

enum class DisplacementRead { complete, not_opened, short_read };

// Reads the result file of every entry into one column of shapes (3 x vertex_count rows, x y z
// per vertex). A file that holds a value that is not finite counts as short: it would spoil
// every mode.
DisplacementRead read_displacements(const std::vector<ShapeEntry>& entries,
                                    std::int64_t vertex_count, Eigen::MatrixXf& shapes);

// What the coefficient table reports of a shape, measured after its registration's linear part
// (made proper) has been applied and its centroid removed.
struct ShapeMeasures {
    float volume = 0.0f; // signed, over the LR triangles
    float area = 0.0f;
    float size = 0.0f; // root mean square distance from the centroid
};

// Measures every shape and, with `procrustes`, aligns it to the LR positions as read: scaled
// to the LR surface's root mean square radius (or, with `rescale`, to its own size), rotated
// onto the LR surface and centred on its centroid. Without `procrustes`, `rescale` scales each
// shape about its own centroid by its registration's scale; otherwise the shapes stay as read.
std::vector<ShapeMeasures> align_shapes(const Surface& lr, const std::vector<ShapeEntry>& entries,
                                        bool procrustes, bool rescale, Eigen::MatrixXf& shapes);

// Principal components of the shapes (columns): the mean shape, and the k = n - 1 largest modes
// (at most 50, and never more than the shapes span) with their variances and the coefficients
// of every shape (one row per shape).
struct PrincipalComponents {
    Eigen::VectorXf mean;
    Eigen::VectorXf variances;
    Eigen::MatrixXf modes;        // 3V x k
    Eigen::MatrixXf coefficients; // n x k
};
PrincipalComponents principal_components(const Eigen::MatrixXf& shapes);

// The shape-coefficient table: per shape its other name padded to the longest, then volume,
// area, size and the coefficients, each "%7.2f", joined by " , ".
std::string shape_coefficient_text(const std::vector<ShapeEntry>& entries,
                                   const std::vector<ShapeMeasures>& measures,
                                   const Eigen::MatrixXf& coefficients);

// The whole creator with the chosen model code and the two check boxes: logs each step and
// every failure, writes the two files and installs the model. True when a model was installed
// (also after a failed write); showing it is the caller's business.
bool create_shape_model(WorkingState& state, int model_code, bool procrustes, bool rescale);
