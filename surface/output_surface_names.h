// How the surface files that the program writes itself end, so that choosing a partner surface
// or writing batch jobs for a directory passes over them: a mapped-landmarks file holds no
// surface at all, and a saved LR or HR surface is a moved copy of a surface already there.
#pragma once

#include <string>
#include <vector>

// The ending of the saved HR surface ("HR-resaved.ply") and of the mapped landmarks
// ("LR-mapped_landmarks.ply").
constexpr const char* resaved_surface_ending = "-resaved.ply";
constexpr const char* mapped_landmarks_ending = "-mapped_landmarks.ply";

// Whether a file name ends as the program's own output surfaces end: the two endings above,
// the registered LR surface (a registration type's suffix, such as "-sim", then ".ply") and the
// shape-model surface ("-ssm_", two integers joined by "_", ".ply").
bool is_output_surface_name(const std::string& file_name);

// The note that the only candidates were such files: "only the program's own outputs
// (a-resaved.ply, b-sim.ply)", naming at most three of them and counting the rest.
std::string only_outputs_note(const std::vector<std::string>& file_names);
