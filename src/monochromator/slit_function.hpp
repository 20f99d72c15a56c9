// Slit functions of a monochromator fed by a uniform circular input fibre whose perfect image
// passes across a circular exit fibre of equal diameter.
#pragma once

#include "core/scan.hpp"

#include <cstdint>

namespace orvanalysis::monochromator {

// The slit function at wavelength, normalised to 1 at the central wavelength; bandwidth is its
// full width at half maximum (same unit as the wavelengths). It reaches 0 at
// ±bandwidth / 0.80794550659902 from the centre.
double uniform_fibres_value(double central_wavelength, double bandwidth, double wavelength);

// The slit function on points keys spread evenly over its base, symmetric about the centre.
// Throws std::invalid_argument for fewer than 2 or more than Scan::Max_Generated_Points points
// and for a bandwidth that is not finite and positive.
Scan uniform_fibres(double central_wavelength, double bandwidth, std::uint32_t points);

}  // namespace orvanalysis::monochromator
