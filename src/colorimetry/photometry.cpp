#include "colorimetry/photometry.hpp"

#include "colorimetry/derived_cache.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "utils/elementwise.hpp"

#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvanalysis::colorimetry {

namespace {

constexpr double angle_limit = 1.3962634015954636;  // 4π/9 rad, 80°
constexpr int weight_intervals = 100;
constexpr double luminous_efficacy = 683.002;  // lm/W

// "first to last" of a non-empty scan's keys, to six significant digits.
std::string format_range(const Scan& scan) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os.precision(6);
    os << scan.min_wavelength() << " to " << scan.max_wavelength();
    return os.str();
}

double visible_integral(const Scan& scan) { return scan.integral(visible_min_wavelength, visible_max_wavelength); }

// |v / (cos ε Y(0)) - 1| at every angle ε of the response, after the band limits ±4π/9 were
// made data points and the angles beyond them removed.
Scan relative_deviation(const Scan& response) {
    Scan deviation = response;
    const double normal = deviation(0.0);
    for (const double limit : {-angle_limit, angle_limit}) {
        deviation.add(limit, deviation(limit));
    }
    deviation.crop(-angle_limit, angle_limit);
    deviation.for_each([normal](const double& angle, double& v) { v = v / (std::cos(angle) * normal) - 1.0; });
    utils::abs(deviation);
    return deviation;
}

// sin 2ε at 201 angles from -4π/9 to 4π/9, linearly interpolated.
Scan angle_weights() {
    Scan weights;
    for (int i = 0; i <= weight_intervals; ++i) {
        const double angle = (static_cast<double>(i) / weight_intervals) * angle_limit;
        const double w = std::sin(angle + angle);
        weights.add(angle, w);
        weights.add(-angle, w);
    }
    weights.set_interpolation(spline::Type::LINEAR);
    return weights;
}

}  // namespace

double f1_prime(const Scan& scan) {
    // A scan that only touches the band at one end has no width of data in it either: its
    // integrals there would be 0 and the index a meaningless 0 or a failed spline.
    if (scan.empty() || scan.max_wavelength() <= visible_min_wavelength ||
        scan.min_wavelength() >= visible_max_wavelength) {
        throw std::domain_error("Input has no data in the range 380 to 780");
    }
    // Where the responsivity was not measured it is unknown, not zero: an index over part of the
    // band would flatter or condemn the photometer by what was left out.
    if (scan.min_wavelength() - scan.epsilon() > visible_min_wavelength ||
        scan.max_wavelength() + scan.epsilon() < visible_max_wavelength) {
        throw std::domain_error("f1_prime needs the responsivity from 380 to 780 nm; the scan covers " +
                                format_range(scan) + " nm");
    }
    static DerivedCache<double, 2> illuminant_a_response;
    static DerivedCache<double, 1> y_integral;
    const Scan& a = curves::cie_illuminant_a();
    const Scan& y = curves::cie_1931_standard_observer_y();
    const double k =
        illuminant_a_response.get({&a, &y}, [&] { return visible_integral(a * y); }) / visible_integral(a * scan);
    Scan s = scan;
    s *= k;
    s -= y;
    utils::abs(s);
    return visible_integral(s) / y_integral.get({&y}, [&] { return visible_integral(y); });
}

double f2(const Scan& Y_0, const Scan& Y_pi_2) {
    // The index integrates |f2| out to ±4π/9; a response measured over less would be filled in
    // with made-up values.
    for (const auto& [name, response] : {std::pair<const char*, const Scan&>{"Y_0", Y_0}, {"Y_pi_2", Y_pi_2}}) {
        if (response.empty() || response.min_wavelength() - response.epsilon() > -angle_limit ||
            response.max_wavelength() + response.epsilon() < angle_limit) {
            throw std::domain_error(std::string("f2 needs each response from -4π/9 to 4π/9 rad (±80°); ") + name +
                                    (response.empty() ? " is empty" : " covers " + format_range(response) + " rad"));
        }
    }
    const Scan c0 = relative_deviation(Y_0);
    const Scan c1 = relative_deviation(Y_pi_2);
    static const Scan weights = angle_weights();
    return ((c0 * weights).integral(-angle_limit, angle_limit) + (c1 * weights).integral(-angle_limit, angle_limit)) *
           0.25;
}

double illuminance(const Scan& spectral_irradiance) {
    return visible_integral(spectral_irradiance * curves::cie_1931_standard_observer_y()) * luminous_efficacy;
}

}  // namespace orvanalysis::colorimetry
