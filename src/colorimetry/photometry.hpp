// Photometer quality indices and illuminance.
#pragma once

#include "core/scan.hpp"

namespace orvanalysis::colorimetry {

// The spectral mismatch index f1' of a relative spectral responsivity (wavelength in nm)
// against V(λ), for illuminant A: ∫|k s(λ) - V(λ)| / ∫V(λ) over 380-780 nm, with k matching
// the responses to illuminant A. Throws std::domain_error "Input has no data in the range 380
// to 780" for a scan without data in the band or touching it only at 380 or at 780 nm.
double f1_prime(const Scan& scan);

// The directional response index f2 (ISO/CIE 19476:2014(E) 5.5.3) of a photometer with a plane
// input window, from its output against the angle of incidence in radians at azimuth 0 (its
// negative angles standing for π) and at azimuth π/2 (negative angles: 3π/2).
double f2(const Scan& Y_0, const Scan& Y_pi_2);

// Illuminance in lux of a spectral irradiance in W m-2 nm-1: 683.002 ∫ E(λ) V(λ) dλ over 380-780 nm.
double illuminance(const Scan& spectral_irradiance);

}  // namespace orvanalysis::colorimetry
