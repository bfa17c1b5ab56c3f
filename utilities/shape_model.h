// The statistical shape model of the LR surface: a mean position for every LR vertex and modes
// of variation, each with its variance, kept in the working state; its ".ssm" file (raw
// little-endian: int32 R = 3 x vertex count, uint32 m >= 2, R floats of mean, m variances, then
// R rows of m mode components); and the LR shapes it shows.
#pragma once

#include "surface/surface.h"

#include <cstdint>
#include <string>
#include <vector>

struct WorkingState;

// A model outside the working state: what a file holds or the creator builds.
struct ShapeModel {
    std::vector<float> mean;               // x y z per vertex
    std::vector<float> variances;          // one per mode
    std::vector<std::vector<float>> modes; // one row per coordinate, one entry per mode
};

// The model file of the LR surface: its path stem + ".ssm".
std::string ssm_file_path(const Surface& lr);

// Reads a model file with exactly `coordinates` rows. False, with `model` untouched, when the
// file cannot be opened (or is no regular file), R differs from `coordinates`, m is below 2 or
// beyond the int range, the file is shorter than 8 + 4R + 4m + 4Rm bytes (checked before anything
// is allocated), a value is not finite, a variance is negative, or a shape the sliders can show
// (up to three standard deviations along a mode) would leave the usable coordinate range; for a
// file that exists, `refusal` (when given) gets the reason. Bytes after the model are ignored.
bool read_ssm_file(const std::string& path, std::int64_t coordinates, ShapeModel& model,
                   std::string* refusal = nullptr);

// Writes the model in the layout above (a new file gets mode 0666 before the umask). False when
// the model's arrays do not agree, R does not fit the header, or the file could not be written
// whole (an old file then stays as it was).
bool write_ssm_file(const std::string& path, const ShapeModel& model);

// Reads the model that belongs to the loaded LR surface and installs it; true when one was
// read. A failed read leaves the working state as it was; when the file exists but was refused,
// `refusal` gets the status message that names it and says why ("Could not read shape model
// file bone.ssm: ..."). Shows no message itself: the loader says it after its own outcome.
bool load_ssm_file(WorkingState& state, std::string& refusal);

// A model is installed and its arrays fit the LR surface: 3 x vertex count mean values and mode
// rows, every row and the variances at least as long as the mode count.
bool shape_model_fits(const WorkingState& state);

// Makes `model` the current shape model (its arrays are moved into the working state).
void install_shape_model(WorkingState& state, ShapeModel&& model);

// The whole model units that a "component" position p (-100 to 100 at the slider's ends)
// stands for on a mode of the given variance: (p / 100) x 3 standard deviations, truncated
// toward zero. 0 for a variance that is negative or not finite.
double ssm_amplitude(float variance, int position);

// Shows the LR surface at `position` along mode `mode` (1 to the mode count): every deformed
// position becomes mean + mode component x amplitude; then the normals follow and the LR plain
// list is out of date. False, with nothing changed, when no model fits the LR surface or the
// mode is out of range.
bool show_shape_on_mode(WorkingState& state, std::int64_t mode, int position);

// Shows the LR surface as the model's mean, with normals and the out-of-date mark. False, with
// nothing changed, when no model is installed or its mean does not fit the LR surface.
bool show_shape_model_mean(WorkingState& state);
