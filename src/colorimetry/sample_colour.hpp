// The colour of a sample under an illuminant, or of a light, as CIE 15 works it out, with the
// built-in observers and illuminants by name.
#pragma once

#include "colorimetry/colour_records.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan.hpp"

#include <string>

namespace orvanalysis::colorimetry {

// The CIE 1964 10° observer over the built-in colour-matching functions.
const Observer& cie_1964_observer();

// "CIE 1931 2" or "CIE 1964 10"; std::invalid_argument naming both for any other name.
const Observer& observer_named(const std::string& name);

// The built-in CIE illuminant "A", "C" or "D65"; std::invalid_argument naming them otherwise.
const Scan& illuminant_named(const std::string& name);

// With an illuminant S, the sample is a transmittance or reflectance R and
// X = 100 ∫ R S x̄ dλ / ∫ S ȳ dλ (so a perfect sample has Y = 100, the CIE 15 normalisation), each
// integral over the part of 380-780 nm that the sample and the curves cover; the integrals are
// the weighted means of weighting.hpp, so a flat sample gives the illuminant's own chromaticity
// on any grid. Without one (nullptr), the sample is a spectral emission φ and X = ∫ φ x̄ dλ, in
// φ's unit times nm. Throws std::runtime_error when the sample holds too few points for its kind.
CIEXYZ sample_XYZ(const Scan& sample, const Scan* illuminant, const Observer& observer);

// CIE (x, y) of sample_XYZ.
ChromaticityPoint sample_xy(const Scan& sample, const Scan* illuminant, const Observer& observer);

// CIE 1976 L*, a*, b* of a transmittance or reflectance under the illuminant, against the
// illuminant itself as white (a perfect sample is L* = 100, a* = b* = 0).
CIELAB sample_Lab(const Scan& sample, const Scan& illuminant, const Observer& observer);

}  // namespace orvanalysis::colorimetry
