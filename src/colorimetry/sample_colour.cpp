#include "colorimetry/sample_colour.hpp"

#include "colorimetry/lens_standards.hpp"
#include "colorimetry/weighting.hpp"
#include "curves/reference_spectra.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>

namespace orvanalysis::colorimetry {

namespace {

constexpr Band visible{visible_min_wavelength, visible_max_wavelength};

}  // namespace

const Observer& cie_1964_observer() {
    static const Observer observer{curves::cie_1964_standard_observer_x(), curves::cie_1964_standard_observer_y(),
                                   curves::cie_1964_standard_observer_z()};
    return observer;
}

const Observer& observer_named(const std::string& name) {
    if (name == "CIE 1931 2") {
        return cie_1931_observer();
    }
    if (name == "CIE 1964 10") {
        return cie_1964_observer();
    }
    throw std::invalid_argument("observer must be 'CIE 1931 2' or 'CIE 1964 10' (or an Observer), not '" + name + "'");
}

const Scan& illuminant_named(const std::string& name) {
    if (name == "A") {
        return curves::cie_illuminant_a();
    }
    if (name == "C") {
        return curves::cie_illuminant_c();
    }
    if (name == "D65") {
        return curves::cie_illuminant_d65();
    }
    throw std::invalid_argument("illuminant must be 'A', 'C' or 'D65' (or a Scan), not '" + name + "'");
}

CIEXYZ sample_XYZ(const Scan& sample, const Scan* illuminant, const Observer& observer) {
    const std::array<const Scan*, 3> cmfs{&observer.x, &observer.y, &observer.z};
    std::array<WeightedTotals, 3> totals;
    for (std::size_t i = 0; i < cmfs.size(); ++i) {
        totals[i] = illuminant != nullptr ? weighted_totals(sample, {illuminant, cmfs[i]}, visible, Method::Integral)
                                          : weighted_totals(sample, {cmfs[i]}, visible, Method::Integral);
    }
    if (illuminant == nullptr) {
        return {totals[0].weighted, totals[1].weighted, totals[2].weighted};
    }
    // ∫ S ȳ over the part the sample covers: the white the sample is measured against.
    const double k = 100.0 / totals[1].weight;
    return {k * totals[0].weighted, k * totals[1].weighted, k * totals[2].weighted};
}

ChromaticityPoint sample_xy(const Scan& sample, const Scan* illuminant, const Observer& observer) {
    const CIEXYZ xyz = sample_XYZ(sample, illuminant, observer);
    const double sum = xyz.X + xyz.Y + xyz.Z;
    return {xyz.X / sum, xyz.Y / sum};
}

CIELAB sample_Lab(const Scan& sample, const Scan& illuminant, const Observer& observer) {
    return CIELAB_of_transmittance(sample, illuminant, observer, Method::Integral);
}

}  // namespace orvanalysis::colorimetry
