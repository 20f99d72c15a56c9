#include "curves/synthetic.hpp"

#include "core/scan_arithmetic.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace orvanalysis {

namespace {

constexpr double logistic_width = 5.88887795833;  // 2 ln 19: from 5 % to 95 % of a logistic
constexpr double two_pi = 6.283185307179586;

void check_grid(double min_wl, double max_wl, double step_wl) {
    if (min_wl >= max_wl) {
        throw std::invalid_argument("min_wl >= max_wl");
    }
    if (step_wl > (max_wl - min_wl)) {
        throw std::invalid_argument("step_wl > (max_wl - min_wl)");
    }
    if (step_wl <= 0) {
        throw std::invalid_argument("step_wl <= 0");
    }
    // The grid's counter is 32 bits wide; a grid it cannot count, or one that never ends, would
    // otherwise run on without bound.
    if (!std::isfinite(min_wl) || !std::isfinite(max_wl) || !std::isfinite(step_wl) ||
        (max_wl - min_wl) / step_wl >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        throw std::invalid_argument("min_wl, max_wl and step_wl must give a finite grid of fewer than 2^32 points");
    }
}

// f(wl) at every grid wavelength.
template <class F>
Scan on_grid(double min_wl, double max_wl, double step_wl, F f) {
    Scan result;
    result.add(min_wl, f(min_wl));
    for (std::uint32_t i = 1;; ++i) {
        const double wl = i * step_wl + min_wl;
        if (!(max_wl >= wl)) {
            break;
        }
        result.add(wl, f(wl));
    }
    return result;
}

Scan logistic(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    check_grid(min_wl, max_wl, step_wl);
    return on_grid(min_wl, max_wl, step_wl, [center_wl, bandwidth](double wl) {
        return 1.0 / (1.0 + std::exp(-((wl - center_wl) * logistic_width / bandwidth)));
    });
}

}  // namespace

Scan longpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    return logistic(center_wl, bandwidth, min_wl, max_wl, step_wl);
}

Scan shortpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl) {
    return utils::binary_operation(1.0, logistic(center_wl, bandwidth, min_wl, max_wl, step_wl),
                                   [](const double& one, const double& l) { return one - l; });
}

Scan lognormal(double peak_wl, double fwhm, double min_wl, double max_wl, double step_wl) {
    if (peak_wl <= 0 || fwhm <= 0) {
        throw std::invalid_argument("peak_wl <= 0 || fwhm <= 0");
    }
    check_grid(min_wl, max_wl, step_wl);
    const double h = fwhm * 0.5 / peak_wl;
    const double sigma = std::sqrt(std::log(std::pow(h, 2.0) / (std::log(2.0) + std::log(2.0)) + 1.0));
    const double mu = std::log(peak_wl) + sigma * sigma;  // the mode exp(mu - sigma²) is peak_wl
    const double a = std::sqrt(two_pi) * sigma;
    const double b = -(1.0 / ((sigma + sigma) * sigma));
    const auto density = [mu, a, b](double wl) {
        return std::exp(std::pow(std::log(wl) - mu, 2.0) * b) * (1.0 / (wl * a));
    };
    const Scan working = on_grid(min_wl, max_wl, step_wl, density);
    const double at_peak = std::exp(std::pow(std::log(peak_wl) - mu, 2.0) * b) * (1.0 / (a * peak_wl));
    return utils::binary_operation(working, at_peak, [](const double& p, const double& top) { return p / top; });
}

}  // namespace orvanalysis
