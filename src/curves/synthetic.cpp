#include "curves/synthetic.hpp"

#include "core/scan_arithmetic.hpp"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanalysis::curves {

namespace {

constexpr double logistic_width = 5.88887795833;  // 2 ln 19: from 5 % to 95 % of a logistic
constexpr double two_pi = 6.283185307179586;

// The number of grid points, after the checks; the grid is walked by this count, never by
// comparing wavelengths, which rounding can keep below max_wl for ever.
std::uint32_t grid_points(double min_wl, double max_wl, double step_wl) {
    if (min_wl >= max_wl) {
        throw std::invalid_argument("min_wl >= max_wl");
    }
    if (step_wl > (max_wl - min_wl)) {
        throw std::invalid_argument("step_wl > (max_wl - min_wl)");
    }
    if (step_wl <= 0) {
        throw std::invalid_argument("step_wl <= 0");
    }
    const double span = (max_wl - min_wl) / step_wl;
    if (!std::isfinite(min_wl) || !std::isfinite(max_wl) || !(span < Scan::Max_Generated_Points)) {
        throw std::invalid_argument("min_wl, max_wl and step_wl must give a finite grid of at most " +
                                    std::to_string(Scan::Max_Generated_Points) + " points");
    }
    // The last i with i · step_wl + min_wl <= max_wl, as the grid computes it.
    auto last = static_cast<std::uint32_t>(span);
    while (last + 1 < Scan::Max_Generated_Points && static_cast<double>(last + 1) * step_wl + min_wl <= max_wl) {
        ++last;
    }
    while (last > 0 && static_cast<double>(last) * step_wl + min_wl > max_wl) {
        --last;
    }
    return last + 1;
}

// f(wl) at every grid wavelength.
template <class F>
Scan on_grid(double min_wl, double max_wl, double step_wl, F f) {
    const std::uint32_t n = grid_points(min_wl, max_wl, step_wl);
    std::vector<double> wavelengths(n);
    std::vector<double> values(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        wavelengths[i] = i == 0 ? min_wl : static_cast<double>(i) * step_wl + min_wl;
        values[i] = f(wavelengths[i]);
    }
    return Scan(std::move(wavelengths), std::move(values), Scan::Default_Wavelength_Epsilon,
                Scan::Default_Interpolation);
}

Scan logistic(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    // A zero, negative or infinite width turns the edge into a step, or the filter around.
    if (!(bandwidth > 0) || !std::isfinite(bandwidth)) {
        throw std::invalid_argument("bandwidth must be finite and greater than 0");
    }
    return on_grid(min_wl, max_wl, step_wl, [center_wl, bandwidth](double wl) {
        return 1.0 / (1.0 + std::exp(-((wl - center_wl) * logistic_width / bandwidth)));
    });
}

}  // namespace

Scan longpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    return logistic(center_wl, bandwidth, min_wl, max_wl, step_wl);
}

Scan shortpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    return binary_operation(1.0, logistic(center_wl, bandwidth, min_wl, max_wl, step_wl),
                            [](const double& one, const double& l) { return one - l; });
}

Scan lognormal(double peak_wl, double fwhm, double min_wl, double max_wl, double step_wl) {
    if (!(peak_wl > 0) || !(fwhm > 0)) {
        throw std::invalid_argument("peak_wl <= 0 || fwhm <= 0");
    }
    // The density has no value at or below 0 nm.
    if (!(min_wl > 0)) {
        throw std::invalid_argument("min_wl <= 0");
    }
    // Relative to its peak the curve is exp(-ln²(wl / peak_wl) / 2σ²), so it is at half height
    // where ln(wl / peak_wl) = ±σ √(2 ln 2): FWHM = 2 peak_wl sinh(σ √(2 ln 2)).
    const double h = fwhm * 0.5 / peak_wl;
    const double sigma = std::asinh(h) / std::sqrt(2.0 * std::log(2.0));
    const double mu = std::log(peak_wl) + sigma * sigma;  // the mode exp(mu - sigma²) is peak_wl
    const double a = std::sqrt(two_pi) * sigma;
    const double b = -(1.0 / ((sigma + sigma) * sigma));
    const auto density = [mu, a, b](double wl) {
        return std::exp(std::pow(std::log(wl) - mu, 2.0) * b) * (1.0 / (wl * a));
    };
    const Scan working = on_grid(min_wl, max_wl, step_wl, density);
    const double at_peak = std::exp(std::pow(std::log(peak_wl) - mu, 2.0) * b) * (1.0 / (a * peak_wl));
    return binary_operation(working, at_peak, [](const double& p, const double& top) { return p / top; });
}

}  // namespace orvanalysis::curves
