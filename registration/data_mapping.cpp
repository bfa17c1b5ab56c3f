#include "registration/data_mapping.h"

#include "registration/match_range.h"
#include "state/working_state.h"
#include "surface/c_locale.h"
#include "surface/data_smoothing.h"

std::string undersampling_question(std::int64_t hr_smoothing_steps, double e_hr, double e_lr)
{
    const double width = fwhm_factor(hr_smoothing_steps) * e_hr;
    if (!(e_lr > width))
        return {};
    return std::string(hr_smoothing_steps > 200 ? "Possible undersampling\nHR FWHM >"
                                                : "Possible undersampling\nHR FWHM ") +
           c_format("%.2f mm, LR edge length %.2f mm\nReally map?", width, e_lr);
}

void map_hr_data(WorkingState& state, double r2)
{
    Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    state.lr_data_name = lr.path_stem + "_mapped_with_" + state.hr_data_name;
    const auto count = static_cast<std::size_t>(lr.vertex_count);
    lr.data.resize(count);
    lr.sigma.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t j = partner_within_range(lr, i, r2);
        if (j >= 0 && static_cast<std::size_t>(j) < hr.data.size() &&
            static_cast<std::size_t>(j) < hr.sigma.size()) {
            lr.data[i] = hr.data[static_cast<std::size_t>(j)];
            lr.sigma[i] = hr.sigma[static_cast<std::size_t>(j)];
        } else {
            lr.data[i] = 0.0;
            lr.sigma[i] = missing_value;
        }
    }
    lr.smoothing_steps = 0;
    lr.hr_smoothing_steps = hr.smoothing_steps;
    state.list_dirty[dirty_absolute_data_error] = true;
    state.list_dirty[dirty_signed_data_error] = true;
    state.lr_data_loaded = true;
    state.list_dirty[dirty_lr_data] = true;
}
