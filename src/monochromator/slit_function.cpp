#include "monochromator/slit_function.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanalysis::monochromator {

namespace {

constexpr double half_maximum_width = 0.80794550659902;  // FWHM of the overlap, in units of its half-base
constexpr double two_over_pi = 0.6366197723675814;

// The overlap of two equal circles whose centres lie x diameters apart, as a fraction of one
// circle's area: 1 at x = 0, 0.5 at x = 0.80794550659902 / 2, 0 at x = 1.
double overlap(double x) { return (std::acos(x) - std::sqrt(1.0 - x * x) * x) * two_over_pi; }

}  // namespace

double uniform_fibres_value(double central_wavelength, double bandwidth, double wavelength) {
    const double r = bandwidth / half_maximum_width;
    const double u = std::abs(central_wavelength - wavelength);
    return u > r ? 0.0 : overlap(u / r);
}

Scan uniform_fibres(double central_wavelength, double bandwidth, std::uint32_t points) {
    if (points < 2) {
        throw std::invalid_argument("uniform_fibres: at least 2 points are needed to span the slit function");
    }
    if (points > Scan::Max_Generated_Points) {
        throw std::invalid_argument("uniform_fibres: at most " + std::to_string(Scan::Max_Generated_Points) +
                                    " points");
    }
    if (!(bandwidth > 0) || !std::isfinite(bandwidth)) {
        throw std::invalid_argument("uniform_fibres: the bandwidth must be finite and greater than 0");
    }
    const double r = bandwidth / half_maximum_width;
    const double step = (r + r) / static_cast<double>(points - 1);
    // Key k is k · step - r from the centre; both members of a symmetric pair take the value of
    // the upper offset, so the result is symmetric.
    std::vector<double> keys(points);
    std::vector<double> values(points);
    for (std::uint32_t k = 0; k < points; ++k) {
        const double d = std::max(k, points - 1 - k) * step - r;
        keys[k] = (k * step - r) + central_wavelength;
        values[k] = overlap(d / r);
    }
    return Scan(std::move(keys), std::move(values), Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
}

}  // namespace orvanalysis::monochromator
