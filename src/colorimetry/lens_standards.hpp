// Transmittance quantities of eyewear lenses and filters by ANSI Z80.3-2015, ISO 8980-3
// (third edition, 2013-10-01), AS/NZS 1067.2 (2016) and ISO 12311 (2013-11-15). Each takes
// the spectral transmittance of the lens (wavelength in nm); transmittance results carry its
// unit (a fraction, or percent), chromaticities do not depend on its scale.
//
// Every transmittance is a mean of the lens's transmittance over a band, weighted by the
// standard's curves (weighting.hpp): by default the integral of the lens's own curve, with
// Method::Sum the standards' 5 nm summation. A band the lens covers only in part is averaged over
// the part it covers (lens_quantity_bands gives each band); a lens with no data in the band gives
// NaN. A lens of kind NONE is read through Steffen's monotone cubic, as the reference curves are.
#pragma once

#include "colorimetry/colour_records.hpp"
#include "colorimetry/tristimulus.hpp"
#include "colorimetry/weighting.hpp"
#include "core/scan.hpp"

#include <string>
#include <utility>
#include <vector>

namespace orvanalysis::colorimetry {

// Mean transmittances over the UV bands, unweighted: UV-A 315-380 nm, UV-B 280-315 nm.
double ANSI_Z80_3_tau_uva(const Scan& trans, Method method = Method::Integral);
double ANSI_Z80_3_tau_uvb(const Scan& trans, Method method = Method::Integral);
double ISO8980_3_tau_uva(const Scan& trans, Method method = Method::Integral);

// Solar UV and blue-light transmittances: mean transmittance weighted by the sea-level solar
// irradiance Es(λ) and by S(λ) (UV) or B(λ) (blue light).
double ISO8980_3_tau_suva(const Scan& trans, Method method = Method::Integral);       // 315 to 380 nm
double ISO8980_3_tau_suvb(const Scan& trans, Method method = Method::Integral);       // 280 to 315 nm
double ASNZS1067_2016_tau_suva(const Scan& trans, Method method = Method::Integral);  // 315 to 400 nm
double ISO12311_tau_sb(const Scan& trans, Method method = Method::Integral);          // 380 to 500 nm

// Luminous transmittance, weighted by V(λ) and illuminant C (ANSI) or D65 (ISO).
double ANSI_Z80_3_tau_v(const Scan& trans, Method method = Method::Integral);
double ISO8980_3_tau_v(const Scan& trans, Method method = Method::Integral);

// Luminous transmittance for the light of each traffic signal.
RYG ANSI_Z80_3_tau_signal(const Scan& trans, Method method = Method::Integral);
RYGB ISO8980_3_tau_signal_incandescent(const Scan& trans, Method method = Method::Integral);
RYGB ISO8980_3_tau_signal_led(const Scan& trans, Method method = Method::Integral);

// The least stored transmittance between 475 and 650 nm, bounds included, no interpolation.
// Throws std::invalid_argument when the scan has no point in that band.
double ANSI_Z80_3_tau_spectral_min(const Scan& trans);

// CIE 1931 chromaticity of the lens in daylight (D65), and of a yellow or green signal lens
// behind it under illuminant A.
ChromaticityPoint ANSI_Z80_3_daylight_chromaticity(const Scan& scan, Method method = Method::Integral);
ChromaticityPoint ANSI_Z80_3_yellow_chromaticity(const Scan& scan, Method method = Method::Integral);
ChromaticityPoint ANSI_Z80_3_green_chromaticity(const Scan& scan, Method method = Method::Integral);

// CIE 1976 L*, a*, b* of a transmittance under an illuminant, against the illuminant itself as
// white (a perfect transmitter is L* = 100, a* = b* = 0).
CIELAB CIELAB_of_transmittance(const Scan& trans, const Scan& illuminant, const Observer& observer,
                               Method method = Method::Integral);

// Each quantity above (a signal transmittance once per colour, "ANSI_Z80_3_tau_signal_red" and
// so on) with the band it is worked out over: its nominal band narrowed to where its weighting
// curves have data, nm. Read off the reference curves at each call.
std::vector<std::pair<std::string, Band>> lens_quantity_bands();

// Every weighted mean a lens rating is made of, by name: each transmittance above as it is worked
// out (a signal transmittance once per colour), then "daylight_X", "daylight_Y", "daylight_Z" and
// the same of "yellow_signal" and "green_signal", the weightings whose totals give the
// chromaticities (and, as means, the lens's CIELAB under D65). Read off the reference curves at
// each call. With weighted_totals_many, one pass over a lens gives every number of its rating.
std::vector<std::pair<std::string, WeightedMean>> lens_means();

}  // namespace orvanalysis::colorimetry
