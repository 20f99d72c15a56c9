// Observers, CIE tristimulus values, CIELAB and CIE 1931 chromaticity of spectra.
#pragma once

#include "colorimetry/colour_records.hpp"
#include "core/scan.hpp"

namespace orvanalysis {

// Three colour-matching functions, referred to and not owned: whoever builds an Observer
// keeps its curves alive.
struct Observer {
    const Scan& x;
    const Scan& y;
    const Scan& z;
};

}  // namespace orvanalysis

namespace orvanalysis::colorimetry {

// The visible band over which tristimulus values are integrated, nm.
inline constexpr double visible_min_wavelength = 380.0;
inline constexpr double visible_max_wavelength = 780.0;

// The CIE 1931 2° observer over the built-in colour-matching functions.
const Observer& cie_1931_observer();

// X, Y, Z: integrals over 380 to 780 nm of each colour-matching function times the scan
// (a spectral distribution, or a transmittance already multiplied by an illuminant), in the
// scan's unit times nm; no normalising factor. The scan's curve is integrated as the lens
// quantities integrate it (weighting.hpp).
CIEXYZ CIE_tristimulus_values(const Scan& scan, const Observer& observer);

// The non-linear function of the CIEXYZ to CIELAB transformation.
double CIELAB_f(double t);

// CIE 1976 L*, a*, b* of a spectrum against a white-point spectrum.
CIELAB CIELAB_tristimulus_values(const Scan& scan, const Scan& white_point_reference, const Observer& observer);

// CIE 1931 (x, y) of a spectrum with the CIE 1931 2° observer.
ChromaticityPoint CIE_1931_chromaticity(const Scan& scan);

}  // namespace orvanalysis::colorimetry
