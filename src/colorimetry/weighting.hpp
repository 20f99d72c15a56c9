// Weighted means of a spectrum over a band: the one rule behind every lens transmittance, signal
// transmittance and lens colour, whatever the sampling of the spectrum.
#pragma once

#include "core/scan.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvanalysis::colorimetry {

// How a weighted quantity is worked out.
//  - Integral: ∫ T(λ) W(λ) dλ over the band, T being the spectrum's own curve (its
//    interpolation kind; Steffen's for a scan of kind NONE) held between each two neighbouring
//    points to the range of their values, and W the product of the weighting curves. Both
//    integrals are exact for the piecewise cubics involved, so the result does not depend on
//    how the spectrum was sampled beyond what its points say.
//  - Sum: Σ T(λk) W(λk) at the wavelengths λk of the weighting tables (5 nm, both band ends
//    included), the arithmetic the standards' own tables are meant for.
enum class Method : std::int32_t { Integral = 0, Sum = 1 };

// "integral" or "sum"; std::invalid_argument naming both for any other text.
Method method_from_string(const std::string& name);

// The product of reference curves a spectrum is weighted by; none means a weight of 1.
using Weighting = std::vector<const Scan*>;

// Nominal band limits, nm.
struct Band {
    double from;
    double to;
};

// The two totals of a weighted mean over the part of a band where both the spectrum and every
// weighting curve have data: ∫ T W and ∫ W (or the sums), and that part.
struct WeightedTotals {
    double weighted = 0.0;
    double weight = 0.0;
    Band used{0.0, 0.0};
    // The mean T; NaN when nothing of the band was measured.
    double mean() const;
};

// The part of the band where every weighting curve has data (the whole band for no weighting).
Band weighting_band(const Weighting& weighting, Band nominal);

// Throws std::runtime_error when the spectrum holds too few points for its interpolation kind.
WeightedTotals weighted_totals(const Scan& spectrum, const Weighting& weighting, Band band, Method method);

// Where a weighted mean reads a spectrum and what each reading weighs: the weighted total is
// Σ weights[j] T(nodes[j]), the weight total, over the part used. It depends on the weighting,
// the band and where the spectrum has points (integral) or the range it covers (sum), never on
// its values: spectra sampled alike share it.
struct Readings {
    std::vector<double> nodes;
    std::vector<double> weights;
    double total = 0.0;
    Band used{0.0, 0.0};
};

// The readings weighted_totals takes, kept per thread as it keeps them; nullptr when the spectrum
// has no data in the band.
std::shared_ptr<const Readings> weighted_readings(const Scan& spectrum, const Weighting& weighting, Band band,
                                                  Method method);

// A weighted mean as a rating asks for it: what weighs the spectrum, over which band.
struct WeightedMean {
    Weighting weighting;
    Band band;
};

// weighted_totals of one spectrum for each mean, equal to it bit for bit, reading the spectrum's
// curve once at each wavelength that any of the means reads (the means of a rating share most).
std::vector<WeightedTotals> weighted_totals_many(const Scan& spectrum, const std::vector<WeightedMean>& means,
                                                 Method method);

}  // namespace orvanalysis::colorimetry
