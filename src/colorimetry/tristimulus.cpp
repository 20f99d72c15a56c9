#include "colorimetry/tristimulus.hpp"

#include "colorimetry/weighting.hpp"
#include "curves/reference_spectra.hpp"

#include <cmath>

namespace orvanalysis::colorimetry {

namespace {

// The integral over the visible band of a colour-matching function times the scan.
double weighted_integral(const Scan& cmf, const Scan& scan) {
    return weighted_totals(scan, {&cmf}, {visible_min_wavelength, visible_max_wavelength}, Method::Integral).weighted;
}

}  // namespace

const Observer& cie_1931_observer() {
    static const Observer observer{curves::cie_1931_standard_observer_x(), curves::cie_1931_standard_observer_y(),
                                   curves::cie_1931_standard_observer_z()};
    return observer;
}

CIEXYZ CIE_tristimulus_values(const Scan& scan, const Observer& observer) {
    CIEXYZ xyz;
    xyz.X = weighted_integral(observer.x, scan);
    xyz.Y = weighted_integral(observer.y, scan);
    xyz.Z = weighted_integral(observer.z, scan);
    return xyz;
}

double CIELAB_f(double t) {
    if (t > 0.008856451679035631) {
        return std::pow(t, 0.3333333333333333);
    }
    return 7.787037037037037 * t + 0.13793103448275862;
}

CIELAB CIELAB_tristimulus_values(const Scan& scan, const Scan& white_point_reference, const Observer& observer) {
    const CIEXYZ sample = CIE_tristimulus_values(scan, observer);
    const CIEXYZ white = CIE_tristimulus_values(white_point_reference, observer);
    const double fx = CIELAB_f(sample.X / white.X);
    const double fy = CIELAB_f(sample.Y / white.Y);
    const double fz = CIELAB_f(sample.Z / white.Z);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

ChromaticityPoint CIE_1931_chromaticity(const Scan& scan) {
    const CIEXYZ xyz = CIE_tristimulus_values(scan, cie_1931_observer());
    const double sum = xyz.Y + xyz.X + xyz.Z;
    return {xyz.X / sum, xyz.Y / sum};
}

}  // namespace orvanalysis::colorimetry
