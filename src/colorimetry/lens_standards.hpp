// Transmittance quantities of eyewear lenses and filters by ANSI Z80.3-2015, ISO 8980-3
// (third edition, 2013-10-01), AS/NZS 1067.2 (2016) and ISO 12311 (2013-11-15). Each takes
// the spectral transmittance of the lens (wavelength in nm); transmittance results carry its
// unit (a fraction, or percent), chromaticities do not depend on its scale.
#pragma once

#include "colorimetry/colour_records.hpp"
#include "core/scan.hpp"

namespace orvanalysis::colorimetry {

// Mean transmittances over the nominal UV bands: the integral over the part of the band the
// scan covers, divided by the whole band's width (65 nm for UV-A 315-380, 35 nm for UV-B
// 280-315).
double ANSI_Z80_3_tau_uva(const Scan& trans);
double ANSI_Z80_3_tau_uvb(const Scan& trans);
double ISO8980_3_tau_uva(const Scan& trans);

// Solar UV and blue-light transmittances: mean transmittance weighted by the sea-level solar
// irradiance Es(λ) and by S(λ) (UV) or B(λ) (blue light).
double ISO8980_3_tau_suva(const Scan& trans);       // 315 to 380 nm
double ISO8980_3_tau_suvb(const Scan& trans);       // 280 to 315 nm
double ASNZS1067_2016_tau_suva(const Scan& trans);  // 315 to 400 nm
double ISO12311_tau_sb(const Scan& trans);          // 380 to 500 nm

// Luminous transmittance, weighted by V(λ) and illuminant C (ANSI) or D65 (ISO).
double ANSI_Z80_3_tau_v(const Scan& trans);
double ISO8980_3_tau_v(const Scan& trans);

// Luminous transmittance for the light of each traffic signal.
RYG ANSI_Z80_3_tau_signal(const Scan& trans);
RYGB ISO8980_3_tau_signal_incandescent(const Scan& trans);
RYGB ISO8980_3_tau_signal_led(const Scan& trans);

// The least stored transmittance between 475 and 650 nm, bounds included, no interpolation.
// Throws std::invalid_argument when the scan has no point in that band.
double ANSI_Z80_3_tau_spectral_min(const Scan& trans);

// CIE 1931 chromaticity of the lens in daylight (D65), and of a yellow or green signal lens
// behind it under illuminant A.
ChromaticityPoint ANSI_Z80_3_daylight_chromaticity(const Scan& scan);
ChromaticityPoint ANSI_Z80_3_yellow_chromaticity(const Scan& scan);
ChromaticityPoint ANSI_Z80_3_green_chromaticity(const Scan& scan);

}  // namespace orvanalysis::colorimetry
