#include "monochromator/slit_function.hpp"

#include <cmath>
#include <stdexcept>

namespace orvanalysis {

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
    Scan result;
    const double r = bandwidth / half_maximum_width;
    const double step = (r + r) / static_cast<double>(points - 1);
    // Both members of a pair take the value of the upper offset, so the result is symmetric.
    for (std::uint32_t i = 0, j = points - 1; i <= j; ++i, --j) {
        const double d = j * step - r;
        const double v = overlap(d / r);
        result.add((i * step - r) + central_wavelength, v);
        result.add(d + central_wavelength, v);
    }
    return result;
}

}  // namespace orvanalysis
