// Loading a pair of surfaces: which file is LR and which HR, their names, and the parts of the
// working state that are fitted to a newly loaded pair. The frame's "Load surfaces" sequence
// (load_surfaces_ui.cpp) runs these between the analysis, the view and the registration steps.
#pragma once

#include "surface/matrix4.h"
#include "surface/surface.h"

#include <array>
#include <string>

struct WorkingState;

// The text without its last `count` characters (UTF-8 code points), or "" when it has no more.
std::string drop_last_characters(const std::string& text, std::size_t count);

// Reads one surface file: with the WRL reader when the file name ends in "wrl"
// (case-sensitive), otherwise with the PLY reader.
bool parse_surface_file(const std::string& path, const std::string& name, Surface& surface);

// Reads path1 into the first surface record and path2 into the second ("Parsing first
// surface", "Parsing second surface"), then chooses LR and HR: with fixed_order the first file
// is LR; otherwise the one file whose name contains "canonical" is LR, and when neither or both
// do, the one with fewer vertices (the first on equal counts). Sets both names (the file name
// without its four-character extension) and path stems (the path without as many characters).
// False, after the reader's message, when a file cannot be read (its name is then
// unread_surface_name); a failure of the first file skips the second.
bool parse_surface_pair(WorkingState& state, const std::string& path1, const std::string& path2,
                        const std::string& name1, const std::string& name2, bool fixed_order);

// The LAD radius (the LR file's hint when positive, else a tenth of the largest LR
// bounding-box extent), a fresh LAD refresh count and the FFD lattice spacing (1.0001 times
// each LR extent, 0.0001 for an axis whose spacing would be exactly 0).
void fit_lattice_and_lad_radius(WorkingState& state);

// Every LR vertex selected, one empty LAD neighbour list and one LAD parameter entry per LR
// vertex; the parameter entries are left unwritten, for the LAD step to fill.
void reset_lr_vertex_state(WorkingState& state);

// The view rotation of a new pair: the loading view of the HR natural axes, with the HR main
// axis up the view for a femur or an LR surface with rims; a batch review job that makes no
// iterations puts its review preset in front.
Matrix4 loading_view(const WorkingState& state);

// True for the registration types whose LR result is a deformed shape (the FFD, LAD, TPS and
// SSM types), which the LR surface then shows.
bool shows_deformed_shape(int registration_type);

// The closing status of a load by the result of reading the registration file (1 read whole,
// 0 missing or incomplete, -1 parse error).
const char* surfaces_loaded_message(int registration_result);

// What the load has to say about the femurs of a new pair (femur_message): side words their
// shapes contradict and items the femur analysis left out, one text naming each such surface
// (LR first), "" when there is none.
std::string femur_messages(const Surface& lr, const Surface& hr);

// The partner of a single chosen file: the first regular file (bytewise name order) of
// directory whose name matches "*canonical*.ply", else "*canonical*.wrl", passing over the
// program's own outputs (is_output_surface_name); "" when there is none. passed_over (when
// given) receives the file names of the outputs passed over.
std::string find_canonical_partner(const std::string& directory,
                                   std::vector<std::string>* passed_over = nullptr);
