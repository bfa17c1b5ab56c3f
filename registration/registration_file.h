// The registration file (".reg"): the four family transforms and the three FFD grids of a
// surface pair, as text beside the LR surface, plus the result files of the stored non-rigid
// shapes that go with it. Version 13 is written; versions 13, 10 and the unversioned layout
// are read. Numbers always use a decimal point, whatever the user's locale.
#pragma once

#include "app/working_state.h"
#include "surface/matrix4.h"
#include "surface/surface.h"

#include <string>

// LR path stem + "-" + HR name + ".reg".
std::string registration_file_path(const Surface& lr, const Surface& hr);
// LR path stem + "-" + HR name + suffix + ".breg", suffix such as "-sim_lad".
std::string result_file_path(const Surface& lr, const Surface& hr, const std::string& suffix);

// The 34 lines of a version 13 file for the current state: each family transform carried to
// file coordinates (HR from_centred x family x LR to_centred) as four "%f" rows, then the
// similarity, affine and aspect grids, one line of 192 "%f " numbers each.
std::string registration_file_text(const WorkingState& state);

// "Save registration": writes the registration file and one result file per set unsaved-result
// flag, reports the outcome in the status bar and returns true when everything was written.
// The unsaved-registration flag and each result flag are cleared only when their files were
// written; a registration file that cannot be written leaves every flag as it was.
bool save_registration(WorkingState& state);

// Reads the registration file of the loaded pair into the family transforms and the grids and,
// when it was read whole, the five LR result arrays from their result files. Returns 1 when
// read whole, 0 when missing, unreadable or incomplete, -1 on a parse error (a token that is
// not a finite number within the float range, too few numbers, a data line too many, a singular
// matrix) and when something that cannot be a registration file stands in its place (a device,
// a directory, more than 64 MiB); in the last two cases every family holds the default pose and
// every grid the undeformed lattice. With -1, refusal (when given) receives why: "line 12: 'x'
// is not a number of the usable range", "not a regular file".
int load_registration_file(WorkingState& state, std::string* refusal = nullptr);

// The first `rows` data lines of a registration file as matrix rows (row j mod 4), without
// version test or conversion; ok is true when exactly that many rows were read and the matrix
// they leave is not singular. With 8, 12 or 16 rows the result is the similarity, affine or
// aspect matrix as written.
Matrix4 read_reg_rows(const std::string& path, int rows, bool& ok);
