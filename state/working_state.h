// Everything the main window knows between events: the two surfaces, the poses of the four
// transform families, the deformation models, the vertex grid and the run state. It stands at
// the top of the core library: the frame inherits it, and the core's orchestrators (loading, a
// registration iteration, the saves, batch runs) take it by reference, so they run without a
// window.
#pragma once

#include "registration/ffd_grid.h"
#include "registration/projection_index.h"
#include "registration/tps_warp.h"
#include "registration/vertex_grid.h"
#include "state/dirty_lists.h"
#include "surface/matrix4.h"
#include "surface/surface.h"
#include "surface/unfilled_vector.h"
#include "utilities/batch_outcome.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Stored results whose unsaved state is tracked, in the order of result_unsaved.
enum ResultSlot : int {
    result_affine_lad = 0,
    result_aspect_lad = 1,
    result_similarity_lad = 2,
    result_similarity_tps = 3,
    result_similarity_ssm = 4,
};

struct WorkingState {
    WorkingState();
    WorkingState(const WorkingState&) = delete;
    WorkingState& operator=(const WorkingState&) = delete;

    Surface* hr_surface = nullptr;
    Surface* lr_surface = nullptr;

    Matrix4 rigid_transform = identity_matrix();
    Matrix4 similarity_transform = identity_matrix();
    Matrix4 affine_transform = identity_matrix();
    Matrix4 aspect_transform = identity_matrix();
    Matrix4 current_transform = identity_matrix();

    double colour_gain = 1.0;
    double colour_offset = 0.0;
    double data_min = 0.0;
    double data_max = 6.0;
    double lad_radius = 0.0;

    FfdGrid affine_ffd_grid;
    FfdGrid similarity_ffd_grid;
    FfdGrid aspect_ffd_grid;
    FfdGrid* current_ffd_grid = &similarity_ffd_grid;

    // The last local fit per LR vertex. Sized at each load but never written there: the LAD step
    // fills every entry before it reads one, so the other types never touch its pages.
    UnfilledVector<std::array<double, 6>> lad_parameters;
    double range_units = 10.0; // search-range slider units per millimetre

    // The shape model: mean (x y z per LR vertex), variance per mode, one mode row per LR
    // coordinate; ssm_mode_count 0 = no model.
    std::vector<float> ssm_mean;
    std::vector<float> ssm_variances;
    std::vector<std::vector<float>> ssm_modes;

    int lad_refresh_counter = 0;
    int colour_map = 3;
    std::vector<std::vector<std::int32_t>> lad_neighbours;
    std::array<double, 16> screen_matrix{}; // LR model-view matrix of the last paint
    TpsWarp tps_warp;
    std::int64_t iteration_counter = -1; // -1 = no run active
    std::int64_t batch_job_index = 0;
    std::int64_t batch_job_count = 0;
    std::int64_t ssm_mode_count = 0;
    bool batch_running = false;
    bool fit_reflected = false;
    bool registration_unsaved = false;
    std::array<bool, 5> result_unsaved{};
    DirtyLists list_dirty{};
    bool lr_data_loaded = false;
    bool rims_paired = false;
    std::int32_t landcurve_state = 0; // 0 none, 1 defining on LR, 2 on HR
    std::vector<Landmark> picked_points;
    // Landmarks or landcurves defined by hand on the LR or the HR surface that no "Save LR
    // surface" or "Save HR surface" has written yet.
    bool lr_hand_annotations_unsaved = false;
    bool hr_hand_annotations_unsaved = false;
    // Grows every time the surfaces are cleared, so at every load: work begun on one pair (a
    // naming dialog left open while a batch goes on) can tell that the pair is gone.
    std::uint64_t surfaces_generation = 0;
    std::string data_units = "mm";
    std::vector<std::int32_t> batch_job_values; // 13 per stored job
    BatchOutcome batch_outcome;                 // of the batch run last started
    // The file name of the surface file that the last load of a pair could not read; "" when
    // it read both.
    std::string unread_surface_name;

    std::array<Surface, 2> surfaces; // first starts as LR, second as HR
    double grid_cell_size = 0.0;
    std::array<double, 3> ffd_spacing{1e-4, 1e-4, 1e-4};
    double slide_step = 0.25;
    VertexGrid vertex_grid;
    ProjectionIndexes projection_indexes; // of both surface records, built as projection needs
    std::string hr_data_name;
    std::string lr_data_name;
    std::string batch_prefix;
    std::vector<std::string> batch_job_names;         // 4 per stored job
    std::vector<std::string> batch_writer_surfaces;   // full paths, in natural name order
    std::vector<std::string> batch_writer_data_files; // full paths, in directory order
    // Data key (as "_thickness") -> the surfaces that have a data file with that key.
    std::map<std::string, std::vector<std::string>> batch_writer_keys;

    // The undeformed FFD lattice of the LR surface loaded.
    FfdLattice ffd_lattice() const { return {lr_surface->bbox_min, ffd_spacing}; }
    bool has_shape_model() const { return ssm_mode_count != 0; }
    bool run_active() const { return iteration_counter >= 0; }
    bool hand_annotations_unsaved() const
    {
        return lr_hand_annotations_unsaved || hr_hand_annotations_unsaved;
    }

    // Notes a landmark or landcurve defined by hand on surface (the LR or the HR one) as unsaved.
    void note_hand_defined(const Surface& surface);

    // The window-independent part of clearing all working state: surfaces, shape model, LAD and
    // TPS working data, vertex grid, colouring, unsaved flags. Display lists, controls and the
    // run are the frame's business.
    void clear_working_data();
};
