#include "surface/data_smoothing.h"

#include "state/working_state.h"
#include "surface/c_locale.h"

#include <algorithm>
#include <cmath>
#include <vector>

const std::array<float, 201> FwhmFactorTable = {
    1.0f, 2.0f, 3.0f, 3.6667f, 4.1667f, 4.6f, 4.975f, 5.3238f,
    5.6464f, 5.9587f, 6.2788f, 6.5754f, 6.8512f, 7.1119f, 7.3612f, 7.6016f,
    7.8351f, 8.0682f, 8.3047f, 8.53f, 8.746f, 8.9542f, 9.156f, 9.3522f,
    9.5438f, 9.7314f, 9.9155f, 10.103f, 10.291f, 10.473f, 10.65f, 10.823f,
    10.992f, 11.158f, 11.32f, 11.48f, 11.637f, 11.791f, 11.944f, 12.1f,
    12.257f, 12.41f, 12.56f, 12.708f, 12.853f, 12.996f, 13.136f, 13.275f,
    13.412f, 13.547f, 13.68f, 13.812f, 13.943f, 14.076f, 14.211f, 14.343f,
    14.473f, 14.602f, 14.729f, 14.854f, 14.978f, 15.1f, 15.221f, 15.341f,
    15.46f, 15.577f, 15.694f, 15.809f, 15.924f, 16.039f, 16.157f, 16.273f,
    16.389f, 16.502f, 16.615f, 16.727f, 16.837f, 16.946f, 17.055f, 17.162f,
    17.269f, 17.375f, 17.48f, 17.584f, 17.687f, 17.79f, 17.892f, 17.993f,
    18.098f, 18.202f, 18.305f, 18.407f, 18.508f, 18.609f, 18.709f, 18.807f,
    18.906f, 19.003f, 19.1f, 19.196f, 19.291f, 19.386f, 19.48f, 19.574f,
    19.667f, 19.76f, 19.852f, 19.943f, 20.036f, 20.13f, 20.223f, 20.315f,
    20.407f, 20.499f, 20.589f, 20.679f, 20.769f, 20.858f, 20.946f, 21.034f,
    21.122f, 21.209f, 21.295f, 21.381f, 21.467f, 21.552f, 21.636f, 21.721f,
    21.805f, 21.888f, 21.971f, 22.056f, 22.141f, 22.226f, 22.31f, 22.394f,
    22.477f, 22.559f, 22.642f, 22.724f, 22.805f, 22.886f, 22.967f, 23.047f,
    23.127f, 23.206f, 23.285f, 23.364f, 23.442f, 23.52f, 23.598f, 23.676f,
    23.753f, 23.83f, 23.906f, 23.982f, 24.06f, 24.138f, 24.216f, 24.293f,
    24.37f, 24.446f, 24.522f, 24.598f, 24.673f, 24.748f, 24.823f, 24.898f,
    24.972f, 25.045f, 25.119f, 25.192f, 25.265f, 25.338f, 25.41f, 25.482f,
    25.554f, 25.626f, 25.697f, 25.768f, 25.839f, 25.91f, 25.98f, 26.052f,
    26.124f, 26.195f, 26.267f, 26.338f, 26.408f, 26.479f, 26.549f, 26.619f,
    26.689f, 26.758f, 26.827f, 26.896f, 26.965f, 27.033f, 27.101f, 27.169f,
    27.237f,
};

float fwhm_factor(std::int64_t passes)
{
    return FwhmFactorTable[static_cast<std::size_t>(std::clamp<std::int64_t>(passes, 0, 200))];
}

namespace {

// Inverse variance of a data value, 0 for a vertex that must not contribute.
double data_weight(double value, double sigma)
{
    if (sigma == missing_value || !std::isfinite(sigma) || !std::isfinite(value))
        return 0.0;
    const double weight = 1.0 / (sigma * sigma);
    return std::isfinite(weight) ? weight : 0.0;
}

} // namespace

void smooth_data(std::int32_t passes, Surface& surface)
{
    if (passes <= 0)
        return;
    const std::size_t count = surface.data.size();
    if (surface.sigma.size() == count && count > 0) {
        std::vector<double> weight(count);
        std::vector<double> numerator(count);
        std::vector<double> denominator(count);
        for (std::size_t i = 0; i < count; ++i)
            weight[i] = data_weight(surface.data[i], surface.sigma[i]);
        for (std::int32_t pass = 0; pass < passes; ++pass) {
            for (std::size_t i = 0; i < count; ++i) {
                numerator[i] = weight[i] == 0.0 ? 0.0 : 2.0 * weight[i] * surface.data[i];
                denominator[i] = 2.0 * weight[i];
            }
            for (const Triangle& triangle : surface.triangles) {
                const auto& corner = triangle.vertex;
                if (std::any_of(corner.begin(), corner.end(), [count](std::int64_t v) {
                        return v < 0 || static_cast<std::size_t>(v) >= count;
                    }))
                    continue;
                for (int a = 0; a < 3; ++a) {
                    for (int b = 0; b < 3; ++b) {
                        const auto i = static_cast<std::size_t>(corner[a]);
                        const auto j = static_cast<std::size_t>(corner[b]);
                        if (a == b || weight[j] == 0.0)
                            continue;
                        numerator[i] += weight[j] * surface.data[j];
                        denominator[i] += weight[j];
                    }
                }
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (denominator[i] != 0.0) {
                    surface.data[i] = numerator[i] / denominator[i];
                    weight[i] = denominator[i] / 2.0;
                } else {
                    surface.data[i] = 0.0;
                    weight[i] = 0.0;
                }
            }
        }
        for (std::size_t i = 0; i < count; ++i)
            surface.sigma[i] = weight[i] != 0.0 ? 1.0 / std::sqrt(weight[i]) : missing_value;
    }
    surface.smoothing_steps += passes;
}

void smooth_lr_data(WorkingState& state, std::int32_t passes)
{
    if (!state.lr_data_loaded)
        return;
    smooth_data(passes, *state.lr_surface);
    state.list_dirty[dirty_lr_data] = true;
    state.list_dirty[dirty_absolute_data_error] = true;
    state.list_dirty[dirty_signed_data_error] = true;
}

std::string fwhm_estimate_text(const Surface& hr, const Surface& lr, double e_hr, double e_lr)
{
    const std::int64_t h = hr.smoothing_steps;
    const std::int64_t l = lr.smoothing_steps + lr.hr_smoothing_steps;
    if (h <= 0 && l <= 0)
        return {};
    std::string text = "Smoothing FWHM: ";
    if (h > 0)
        text += c_format(h > 200 ? ">%.2f mm (HR)" : "%.2f mm (HR)", fwhm_factor(h) * e_hr);
    if (l > 0) {
        if (h > 0)
            text += ", ";
        const double mean_edge =
            (static_cast<double>(lr.smoothing_steps) * e_lr +
             static_cast<double>(lr.hr_smoothing_steps) * e_hr) /
            static_cast<double>(l);
        text += c_format(l > 200 ? ">%.2f mm (LR)" : "%.2f mm (LR)", fwhm_factor(l) * mean_edge);
    }
    return text;
}
