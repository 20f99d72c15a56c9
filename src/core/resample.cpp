#include "core/resample.hpp"

#include "core/scan_arithmetic.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace orvanalysis {

namespace {

std::string number(double x) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(12);
    text << x;
    return text.str();
}

// Whether w lies where the scan has data: not ordering before its first key nor after its last.
bool inside(const Scan& s, double w) {
    const EpsilonLess less{s.epsilon()};
    return !s.empty() && !std::isnan(w) && !less(w, s.wavelengths().front()) && !less(s.wavelengths().back(), w);
}

[[noreturn]] void refuse_outside(const Scan& s, double w) {
    throw std::domain_error(
        "wavelength " + number(w) + " is outside the data, " +
        (s.empty() ? std::string("which is empty") : number(s.min_wavelength()) + " to " + number(s.max_wavelength())) +
        " (extrapolation='raise')");
}

}  // namespace

Extrapolation extrapolation_from_string(const std::string& name) {
    if (name == "zero") {
        return Extrapolation::Zero;
    }
    if (name == "constant") {
        return Extrapolation::Constant;
    }
    if (name == "raise") {
        return Extrapolation::Raise;
    }
    if (name == "nan") {
        return Extrapolation::NaN;
    }
    throw std::invalid_argument("extrapolation must be 'zero', 'constant', 'raise' or 'nan', not '" + name + "'");
}

double evaluate(const Scan& s, double w, Extrapolation policy) {
    if (policy == Extrapolation::Zero || inside(s, w)) {
        return s(w);
    }
    if (policy == Extrapolation::Raise) {
        refuse_outside(s, w);
    }
    if (policy == Extrapolation::NaN || std::isnan(w)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (s.empty()) {
        return 0.0;
    }
    return w < s.wavelengths().front() ? s.values().front() : s.values().back();
}

Scan resample(const Scan& s, std::vector<double> grid, Extrapolation policy) {
    std::vector<double> values;
    values.reserve(grid.size());
    for (const double w : grid) {
        values.push_back(evaluate(s, w, policy));
    }
    return Scan(std::move(grid), std::move(values), s.epsilon(), s.interpolation());
}

std::vector<double> regular_grid(double start, double stop, double step) {
    if (!std::isfinite(start) || !std::isfinite(stop) || !std::isfinite(step) || !(step > 0.0)) {
        throw std::invalid_argument("resample: start, stop and step must be finite and step above 0, not " +
                                    number(start) + ", " + number(stop) + ", " + number(step));
    }
    if (stop < start) {
        throw std::invalid_argument("resample: stop " + number(stop) + " is below start " + number(start));
    }
    // Counted from start, not accumulated: no rounding drifts along the grid.
    const double intervals = std::floor((stop - start) / step + 1e-6);
    if (!(intervals < static_cast<double>(Scan::Max_Generated_Points))) {
        throw std::invalid_argument("resample: the grid would hold more than " +
                                    std::to_string(Scan::Max_Generated_Points) + " wavelengths");
    }
    const auto n = static_cast<std::size_t>(intervals) + 1;
    std::vector<double> grid(n);
    for (std::size_t i = 0; i < n; ++i) {
        grid[i] = start + static_cast<double>(i) * step;
    }
    return grid;
}

Scan normalised(const Scan& s, Normalisation to, double wavelength) {
    if (s.empty()) {
        throw std::invalid_argument("normalised: the scan is empty");
    }
    double divisor = 0.0;
    std::string what;
    switch (to) {
        case Normalisation::Max:
            divisor = -std::numeric_limits<double>::infinity();
            for (const double v : s.values()) {
                divisor = v > divisor ? v : divisor;
            }
            what = "its largest value";
            break;
        case Normalisation::Area:
            divisor = s.integral();
            what = "its integral";
            break;
        case Normalisation::Wavelength:
            if (!inside(s, wavelength)) {
                throw std::invalid_argument("normalised: wavelength " + number(wavelength) + " is outside the data, " +
                                            number(s.min_wavelength()) + " to " + number(s.max_wavelength()));
            }
            divisor = s(wavelength);
            what = "its value at " + number(wavelength);
            break;
    }
    if (divisor == 0.0 || !std::isfinite(divisor)) {
        throw std::invalid_argument("normalised: " + what + " is " + number(divisor) + ", which divides nothing");
    }
    return binary_operation(s, divisor, [](double v, double d) { return v / d; });
}

}  // namespace orvanalysis
